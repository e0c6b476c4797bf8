// Firmware images as the upgrade page loads them, and the transfer into a servo's loader.
#include "Bindings.h"

#include "Errors.h"
#include "words/ConsoleWords.h"
#include "Waiting.h"
#include "servo/FirmwareFile.h"
#include "servo/LoaderFrames.h"
#include "servo/UpgradeTransfer.h"

#include <mutex>

namespace servobus {

namespace {

struct LoadedImage {
    std::unique_ptr<FirmwareImage> image = std::make_unique<FirmwareImage>();
    int32_t kind = kImageHex;
};

// Loads as the page does; FirmwareError with servoctl's text otherwise.
LoadedImage LoadImage(const std::string& path)
{
    LoadedImage loaded;
    const FirmwareLoadResult result = LoadFirmwareFile(path, *loaded.image);
    if (result.status != FirmwareLoad::Loaded) {
        std::string reason = "无法打开固件";
        if (result.status == FirmwareLoad::FormatError) {
            reason = "固件格式错误";
            if (result.errorLine > 0)
                reason += " (line " + std::to_string(result.errorLine) + ")";
            else if (!result.detail.empty())
                reason += " (" + result.detail + ")";
        }
        Raise(Errors().firmware, path + ": " + reason, std::nullopt, reason);
    }
    loaded.kind = result.kind;
    return loaded;
}

// A loaded image, for Python: its kind, bytes and blocks with their CRC.
struct ImageInfo {
    std::string kind;
    py::bytes data;
    int length = 0;
    std::vector<int> crcs;
};

ImageInfo Image(const std::string& path)
{
    const LoadedImage loaded = LoadImage(path);
    ImageInfo info;
    info.kind = loaded.kind == kImageBin ? "bin" : "hex";
    info.length = static_cast<int>(loaded.image->length);
    info.data = py::bytes(reinterpret_cast<const char*>(loaded.image->data.data()),
                          std::min<size_t>(loaded.image->length, FirmwareImage::kSize));
    const Crc16 crc = LoaderCrc();
    const int blocks = BlockCount(loaded.image->length);
    for (int i = 1; i <= blocks; ++i)
        info.crcs.push_back(crc.Compute(loaded.image->data.data() + (i - 1) * kBlockDataSize,
                                        kBlockDataSize));
    return info;
}

}  // namespace

int Port::Flash(int id, const std::string& path, const py::object& progress,
                const py::object& unlock, bool inLoader)
{
    // The broadcast ID would put every servo's loader on the line at once.
    Checked(id, "ID", 0, 253);
    // The loader's five unlock bytes; without them the built-in ones (the virtual bus's).
    std::array<uint8_t, 5> unlockBytes = LoaderUnlock;
    if (!unlock.is_none()) {
        const std::string given = py::bytes(unlock);
        if (given.size() != unlockBytes.size())
            throw py::value_error("unlock must be five bytes");
        std::copy(given.begin(), given.end(), unlockBytes.begin());
    }
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress must be callable");
    const LoadedImage loaded = LoadImage(path);
    UpgradeJob job;
    job.servoId = static_cast<uint8_t>(id);
    job.image = loaded.image.get();
    job.kind = loaded.kind;
    job.blockCount = BlockCount(loaded.image->length);
    job.unlock = unlockBytes;
    job.inLoader = inLoader;  // a servo left in its loader: no upgrade instruction first

    // The bus thread notes the acknowledged blocks; this thread tells Python of them, so the
    // transfer never waits for Python.
    std::mutex notedMutex;
    std::vector<int> noted;
    UpgradeReports reports;
    reports.acknowledged = [&](int block) {
        std::lock_guard lock(notedMutex);
        noted.push_back(block);
    };
    auto tell = [&] {
        std::vector<int> blocks;
        {
            std::lock_guard lock(notedMutex);
            blocks.swap(noted);
        }
        if (progress.is_none())
            return;
        for (int block : blocks)
            progress(block, job.blockCount);
    };
    std::atomic<bool> cancel{false};
    PortCore& c = *core;
    const UpgradeResult result = RunInterruptible<UpgradeResult>(
        *c.bus, JobKind::Transfer,
        [&](BusAccess& access) {
            c.Prepare(access, kLongestExchange);
            UpgradeResult r = RunUpgrade(access, job, cancel, reports);
            c.Prepare(access, kLongestExchange);
            return r;
        },
        cancel, tell);
    switch (result.outcome) {
    case UpgradeOutcome::Done: return job.blockCount;
    case UpgradeOutcome::Cancelled: {
        const std::string message = "servo " + std::to_string(id) + ": 升级已取消 after block " +
                                    std::to_string(result.blocksAcknowledged) + " of " +
                                    std::to_string(job.blockCount) +
                                    "; the servo waits in its loader";
        Raise(Errors().flash, message, id, "升级已取消");
    }
    case UpgradeOutcome::Failed: break;
    }
    // Another program's bus: nothing was sent; the message names where to close it.
    if (result.shared) {
        const PortFacts port = c.bus->Facts();
        Raise(Errors().flash, "servo " + std::to_string(id) + ": 升级失败: " +
                                  SharedBusText(port.SharedBy(), port.Rate(), "flash firmware"),
              id, "升级失败");
    }
    Raise(Errors().flash, "servo " + std::to_string(id) + ": 升级失败 " + UpgradeFailurePlace(result, job.blockCount), id, "升级失败");
}

void AddImage(py::module_& m)
{
    py::class_<ImageInfo>(m, "FirmwareImage",
                          "A firmware file as the upgrade page loads it: an Intel HEX (.hex) or "
                          "raw (.bin) image, sent in 64-byte blocks.")
        .def_readonly("kind", &ImageInfo::kind, "\"hex\" or \"bin\".")
        .def_readonly("length", &ImageInfo::length, "Bytes the transfer sends.")
        .def_readonly("data", &ImageInfo::data, "The image's bytes, `length` of them.")
        .def_readonly("crcs", &ImageInfo::crcs, "Each block's CRC-16/XMODEM, block 1 first.")
        .def_property_readonly(
            "blocks", [](const ImageInfo& i) { return i.crcs.size(); }, "Number of blocks.")
        .def("__repr__", [](const ImageInfo& i) {
            return "FirmwareImage(kind='" + i.kind + "', length=" + std::to_string(i.length) +
                   ", blocks=" + std::to_string(i.crcs.size()) + ")";
        });
    m.def("image", &Image, py::arg("path"),
          "Loads a firmware file as the upgrade page does (no port needed). Raises FirmwareError "
          "(无法打开固件, 固件格式错误 with the line) when it can't.");
}

}  // namespace servobus
