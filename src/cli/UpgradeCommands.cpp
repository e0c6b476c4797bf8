// servoctl's image, flash and commtest commands, on the upgrade page's logic.
#include "cli/CtlCommand.h"
#include "cli/ScopedSignal.h"

#include "servo/CommTest.h"
#include "words/ConsoleWords.h"
#include "servo/FirmwareFile.h"
#include "servo/LoaderFrames.h"
#include "servo/UpgradeBackup.h"
#include "servo/UpgradeTransfer.h"
#include "support/HexText.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <optional>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>

namespace {

// Set by SIGINT while a transfer or a test runs: they stop at their next step and still
// restore the port.
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int)
{
    interrupted = true;
}

class InterruptGuard {
private:
    // Cleared before the handler goes in, so a signal from the first instant on counts.
    [[maybe_unused]] bool cleared = (interrupted = false, true);
    ScopedSignal onInt{SIGINT, OnInterrupt};
};

// Loads a firmware file as the page does; false after telling why on stderr.
bool Load(Session& s, const std::string& file, FirmwareImage& image, FirmwareLoadResult& result)
{
    result = LoadFirmwareFile(file, image);
    if (result.status == FirmwareLoad::Loaded)
        return true;
    s.err << "servoctl: " << file << ": ";
    if (result.status == FirmwareLoad::CannotOpen) {
        s.err << "无法打开固件\n";
    } else {
        s.err << "固件格式错误";
        if (result.errorLine > 0)
            s.err << " (line " << result.errorLine << ")";
        else if (!result.detail.empty())
            s.err << " (" << result.detail << ")";
        s.err << "\n";
    }
    return false;
}

int Image(Session& s, const std::string& file)
{
    auto image = std::make_unique<FirmwareImage>();
    FirmwareLoadResult result;
    if (!Load(s, file, *image, result))
        return kCtlBusFailed;
    const int blocks = BlockCount(image->length);
    s.out << "kind " << (result.kind == kImageBin ? "bin" : "hex") << "\n"
          << "length " << image->length << "\n"
          << "blocks " << blocks << "\n";
    const Crc16 crc = LoaderCrc();
    for (int i = 1; i <= blocks; ++i) {
        const uint16_t c = crc.Compute(image->data.data() + (i - 1) * kBlockDataSize, kBlockDataSize);
        char line[32];
        std::snprintf(line, sizeof line, "%d %04X\n", i, c);
        s.out << line;
    }
    s.out.flush();
    return kCtlDone;
}

// The transfer's progress on stderr: one line redrawn on a terminal, a line per 10 %
// otherwise.
class Progress {
public:
    Progress(std::ostream& e, int total) : err(e), blocks(total), terminal(::isatty(2) != 0) {}
    void Show(int done)
    {
        const int percent = blocks > 0 ? done * 100 / blocks : 100;
        if (terminal) {
            const int filled = percent * 30 / 100;
            err << "\r升级 [" << std::string(static_cast<size_t>(filled), '#')
                << std::string(static_cast<size_t>(30 - filled), ' ') << "] " << percent << "% "
                << done << "/" << blocks << std::flush;
            return;
        }
        for (; nextTenth <= 10 && percent >= nextTenth * 10; ++nextTenth)
            err << "升级 " << nextTenth * 10 << "% (" << done << "/" << blocks << ")" << std::endl;
    }
    void End()
    {
        if (terminal)
            err << "\n";
    }

private:
    std::ostream& err;
    int blocks;
    bool terminal;
    int nextTenth = 1;
};

struct FlashOptions {
    std::string unlockText;  // --unlock, as typed
    std::array<uint8_t, 5> unlock{};
    bool noBackup = false;
    bool restore = false;
    bool inLoader = false;
};

// Five bytes in hexadecimal, with or without spaces, colons or commas between them.
std::optional<std::array<uint8_t, 5>> ParseUnlock(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c != ' ' && c != ':' && c != ',' && c != '-')
            return std::nullopt;
    }
    if (digits.size() != 10)
        return std::nullopt;
    std::array<uint8_t, 5> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(std::stoi(digits.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

// The backup before the upgrade; false when the upgrade must not go on.
bool BackUp(Session& s, int id, BackupResult& backup)
{
    backup = s.bus.Run(JobKind::Transfer, [&](BusAccess& access) {
        return BackUpServo(access, s.catalogue, static_cast<uint8_t>(id), BackupFolder());
    });
    s.err << "servoctl: servo " << id << ": ";
    switch (backup.status) {
    case BackupStatus::Saved:
        s.err << "EPROM block (" << backup.bytes.size() << " bytes) backed up to " << backup.path
              << "\n";
        return true;
    case BackupStatus::NoTable:
        s.err << "the catalogue has no memory table for " << backup.model
              << ": nothing to back up\n";
        return true;
    case BackupStatus::ReadFailed:
        s.err << "cannot back up the EPROM block (" << ReplyText(backup.reply, s.bus.Facts().TimeoutMs())
              << "); not upgrading (--no-backup upgrades without a backup)\n";
        return false;
    case BackupStatus::SaveFailed:
        s.err << "cannot write the backup " << backup.path
              << "; not upgrading (--no-backup upgrades without a backup)\n";
        return false;
    }
    return false;
}

int Flash(Session& s, int id, const std::string& file, const FlashOptions& o)
{
    // Another program's bus stays at its rate and out of the loader.
    if (const ShareOwner owner = s.bus.Facts().SharedBy()) {
        s.err << "servoctl: " << SharedBusText(owner, s.bus.Facts().Rate(), "flash firmware") << "\n";
        return kCtlBusFailed;
    }
    auto image = std::make_unique<FirmwareImage>();
    FirmwareLoadResult loaded;
    if (!Load(s, file, *image, loaded))
        return kCtlBusFailed;
    UpgradeJob job;
    job.servoId = static_cast<uint8_t>(id);
    job.image = image.get();
    job.kind = loaded.kind;
    job.blockCount = BlockCount(image->length);
    job.inLoader = o.inLoader;

    // A servo in its loader answers nothing: no backup, no identification.
    BackupResult backup;
    bool identified = false;
    if (!o.inLoader && !o.noBackup) {
        if (!BackUp(s, id, backup))
            return kCtlBusFailed;
        identified = true;
    } else if (!o.inLoader && o.unlockText.empty()) {
        identified = s.bus.Run(JobKind::Transfer, [&](BusAccess& access) {
            return access.protocol.ReadMemory(job.servoId, 0, backup.key.data(), 9).ok();
        });
    }
    const char* source = "built-in: the virtual bus's; a real servo's loader needs its maker's, "
                         "from the catalogue or --unlock";
    if (!o.unlockText.empty()) {
        job.unlock = o.unlock;
        source = "--unlock";
    } else if (identified && s.catalogue.LookupLoaderUnlock(backup.key, job.unlock)) {
        source = "the catalogue";
    }
    s.err << "servoctl: unlock bytes " << HexText(job.unlock.data(), job.unlock.size()) << " ("
          << source << ")\n";

    Progress progress(s.err, job.blockCount);
    UpgradeReports reports;
    reports.acknowledged = [&](int block) { progress.Show(block); };
    UpgradeResult result;
    {
        InterruptGuard guard;
        result = s.bus.Run(JobKind::Transfer, [&](BusAccess& access) {
            return RunUpgrade(access, job, interrupted, reports);
        });
    }
    progress.End();
    const std::string wayBack = "; servoctl flash " + std::to_string(id) + " FILE --in-loader "
                                "starts again at the unlock step\n";
    switch (result.outcome) {
    case UpgradeOutcome::Done:
        s.err << "servoctl: servo " << id << ": " << job.blockCount << " blocks written\n";
        break;
    case UpgradeOutcome::Cancelled:
        s.err << "servoctl: servo " << id << ": 升级已取消 after block " << result.blocksAcknowledged
              << " of " << job.blockCount << "; the servo waits in its loader" << wayBack;
        return kCtlBusFailed;
    case UpgradeOutcome::Failed:
        s.err << "servoctl: servo " << id << ": 升级失败 " << UpgradeFailurePlace(result, job.blockCount);
        s.err << (result.rateFixed ? "\n" : wayBack);
        return kCtlBusFailed;
    }
    if (backup.status != BackupStatus::Saved) {
        if (o.restore)
            s.err << "servoctl: servo " << id << ": no backup to load back\n";
        return kCtlDone;
    }
    if (!o.restore) {
        s.err << "servoctl: the backup stays in " << backup.path << " (--restore loads it back)\n";
        return kCtlDone;
    }
    // The new firmware may lay out its memory differently: loaded back only when asked.
    const bool restored = s.bus.Run(JobKind::Command, [&](BusAccess& access) {
        return RestoreBackup(access, s.catalogue, job.servoId, backup, {});
    });
    s.err << "servoctl: servo " << id << ": " << (restored ? "参数载入成功" : "参数载入失败")
          << " (" << backup.path << ")\n";
    return restored ? kCtlDone : kCtlBusFailed;
}

struct ServoFigures {
    int answered = 0;
    int unanswered = 0;
    std::vector<long long> times;  // µs of the answered reads
    long long bytes = 0;
    long long microseconds = 0;
};

long long Percentile(std::vector<long long>& sorted, int p)
{
    const size_t rank = (sorted.size() * static_cast<size_t>(p) + 99) / 100;
    return sorted[std::max<size_t>(rank, 1) - 1];
}

int CommTest(Session& s, CommTestPlan plan, int passes)
{
    plan.timeoutMs = std::max(s.bus.Facts().TimeoutMs(), 1);
    CommTestCounts counts;
    std::atomic<bool> running{true}, abort{false};
    std::map<int, ServoFigures> figures;
    int done = 0;
    {
        InterruptGuard guard;
        RunCommTest(s.bus, plan, counts, running, abort, [&](const CommTestPass& pass) {
            std::string text = pass.text;
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            s.out << text << TrafficText(pass.traffic) << "\n" << std::flush;
            for (const auto& sample : pass.samples) {
                auto& f = figures[sample.id];
                if (sample.answered) {
                    ++f.answered;
                    f.times.push_back(sample.microseconds);
                    f.bytes += sample.bytes;
                    f.microseconds += sample.microseconds;
                } else {
                    ++f.unanswered;
                }
            }
            if (++done >= passes || interrupted)
                running = false;
        });
    }
    s.out << "summary\n";
    for (auto& [id, f] : figures) {
        s.out << "舵机ID:" << id << " answered " << f.answered << " unanswered " << f.unanswered;
        if (f.answered > 0) {
            std::sort(f.times.begin(), f.times.end());
            char line[160];
            std::snprintf(line, sizeof line, " p50 %lldus p99 %lldus max %lldus %.2fkb/s",
                          Percentile(f.times, 50), Percentile(f.times, 99), f.times.back(),
                          static_cast<double>(f.bytes * 8000000LL / std::max(f.microseconds, 1LL)) /
                              1000.0);
            s.out << line;
        }
        s.out << "\n";
    }
    s.out.flush();
    return kCtlDone;
}

}  // namespace

void AddUpgradeCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    struct Texts {
        std::string file, id, from = "1", to = "17", start = "0", end = "66", passes = "1";
    };
    auto t = std::make_shared<Texts>();

    CtlCommand image;
    image.sub = app.add_subcommand("image", "load a firmware file as the upgrade page does and "
                                            "list its blocks with their CRC");
    image.sub->add_option("FILE", t->file, "an Intel HEX (.hex) or raw (.bin) image")->required();
    image.port = false;
    image.identify = false;
    image.run = [t](Session& s) { return Image(s, t->file); };
    commands.push_back(std::move(image));

    CtlCommand flash;
    auto ids = std::make_shared<int>(0);
    flash.sub = app.add_subcommand("flash", "write a firmware file into a servo through its "
                                            "loader (500000 baud)");
    flash.sub->add_option("ID", t->id)->required()->type_name("N");
    flash.sub->add_option("FILE", t->file, "an Intel HEX (.hex) or raw (.bin) image")->required();
    auto flashOptions = std::make_shared<FlashOptions>();
    flash.sub->add_option("--unlock", flashOptions->unlockText,
                          "the loader's five unlock bytes in hex (default: the catalogue's for "
                          "the model, else the built-in ones, which only the virtual bus takes)")
        ->type_name("HEX");
    flash.sub->add_flag("--no-backup", flashOptions->noBackup,
                        "upgrade without first saving the servo's EPROM block");
    flash.sub->add_flag("--restore", flashOptions->restore,
                        "after a successful upgrade, write the backup back into the servo");
    flash.sub->add_flag("--in-loader", flashOptions->inLoader,
                        "the servo is still in its loader (after a failed or cancelled "
                        "transfer): start at the unlock step, without the upgrade instruction");
    flash.identify = false;  // a servo already in its loader answers no read
    flash.check = [t, ids, flashOptions](Checker& c) {
        // The broadcast ID would put every servo's loader on the line at once.
        *ids = static_cast<int>(c.Get(t->id, "ID", 0, 253));
        if (!flashOptions->unlockText.empty()) {
            if (const auto bytes = ParseUnlock(flashOptions->unlockText))
                flashOptions->unlock = *bytes;
            else
                c.Fail("--unlock wants five bytes in hex, such as 7E5AA53CC3");
        }
        if (flashOptions->inLoader && flashOptions->restore)
            c.Fail("--restore needs a backup, which a servo in its loader can't give");
    };
    flash.run = [t, ids, flashOptions](Session& s) { return Flash(s, *ids, t->file, *flashOptions); };
    commands.push_back(std::move(flash));

    CtlCommand test;
    auto plan = std::make_shared<CommTestPlan>();
    auto passes = std::make_shared<int>(1);
    test.sub = app.add_subcommand("commtest", "time reads of an address range from every servo "
                                              "of an ID range, pass after pass (time-out: -t)");
    test.sub->add_option("--from", t->from, "first ID")->capture_default_str()->type_name("N");
    test.sub->add_option("--to", t->to, "last ID")->capture_default_str()->type_name("N");
    test.sub->add_option("--start", t->start, "first address")->capture_default_str()->type_name("N");
    test.sub->add_option("--end", t->end, "last address")->capture_default_str()->type_name("N");
    test.sub->add_option("--passes", t->passes, "passes to run (Ctrl-C ends after the pass)")
        ->capture_default_str()
        ->type_name("N");
    test.identify = false;
    test.check = [t, plan, passes](Checker& c) {
        const int from = static_cast<int>(c.Get(t->from, "--from", 0, 254));
        const int to = static_cast<int>(c.Get(t->to, "--to", 0, 254));
        const int start = static_cast<int>(c.Get(t->start, "--start", 0, 255));
        const int end = static_cast<int>(c.Get(t->end, "--end", 0, 255));
        *passes = static_cast<int>(c.Get(t->passes, "--passes", 1, 1000000000));
        if (c.error.empty() && !PlanCommTest(from, to, start, end, 1, *plan))
            c.Fail("地址范围错误: --start..--end must span 1..253 bytes");
    };
    test.run = [plan, passes](Session& s) { return CommTest(s, *plan, *passes); };
    commands.push_back(std::move(test));
}
