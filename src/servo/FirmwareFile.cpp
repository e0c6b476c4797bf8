#include "servo/FirmwareFile.h"

#include "support/LockedFile.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

FirmwareLoadResult Result(FirmwareLoad status, int32_t kind = kImageHex, int line = 0,
                          std::string detail = {})
{
    FirmwareLoadResult r;
    r.status = status;
    r.kind = kind;
    r.errorLine = line;
    r.detail = std::move(detail);
    return r;
}

FirmwareLoadResult LoadHex(LockedFile& file, FirmwareImage& image)
{
    image.Clear();
    std::vector<char> chunk(64 * 1024);
    std::string line;
    int number = 0;
    // Read as text: the line end LF, or CR LF, is not part of the line; any other CR is. A
    // last line without LF is a line too.
    const auto take = [&](bool ended) {
        ++number;
        size_t n = line.size();
        if (ended && n > 0 && line[n - 1] == '\r')
            --n;
        return ParseHexRecord(image, line.data(), n) >= 0;
    };
    for (;;) {
        const long long got = file.Read(chunk.data(), chunk.size());
        if (got < 0) {
            image.Clear();
            return Result(FirmwareLoad::CannotOpen, kImageHex, 0, "read failed");
        }
        if (got == 0)
            break;
        const char* at = chunk.data();
        const char* const end = at + got;
        while (at < end) {
            const char* lf = std::find(at, end, '\n');
            line.append(at, lf);
            if (lf == end)
                break;
            if (!take(true))
                return Result(FirmwareLoad::FormatError, kImageHex, number, "bad record");
            line.clear();
            at = lf + 1;
        }
    }
    if (!line.empty() && !take(false))
        return Result(FirmwareLoad::FormatError, kImageHex, number, "bad record");
    return Result(FirmwareLoad::Loaded, kImageHex);
}

FirmwareLoadResult LoadBin(LockedFile& file, FirmwareImage& image)
{
    if (file.Size() > FirmwareImage::kSize) {
        image.length = 0;
        return Result(FirmwareLoad::FormatError, kImageBin, 0, "larger than 65536 bytes");
    }
    image.Clear();
    uint32_t got = 0;
    for (;;) {
        uint8_t* at = image.data.data() + got;
        const size_t room = FirmwareImage::kSize - got;
        uint8_t extra;
        // Once the window is full, one more byte would mean the file grew past it.
        const long long r = room > 0 ? file.Read(at, room) : file.Read(&extra, 1);
        if (r < 0) {
            image.Clear();
            return Result(FirmwareLoad::CannotOpen, kImageBin, 0, "read failed");
        }
        if (r == 0)
            break;
        if (room == 0) {
            image.Clear();
            return Result(FirmwareLoad::FormatError, kImageBin, 0, "larger than 65536 bytes");
        }
        got += static_cast<uint32_t>(r);
    }
    image.length = got;
    return Result(FirmwareLoad::Loaded, kImageBin);
}

}  // namespace

std::string FirmwareExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

FirmwareLoadResult LoadFirmwareFile(const std::string& path, FirmwareImage& image)
{
    const std::string ext = FirmwareExtension(path);
    if (ext != "hex" && ext != "bin") {
        // Nothing to send: refused like a file that is no image at all.
        image.length = 0;
        return Result(FirmwareLoad::FormatError, kImageHex, 0, "neither .hex nor .bin");
    }
    LockedFile file(path);
    if (!file.IsOpen()) {
        image.length = 0;
        return Result(FirmwareLoad::CannotOpen, ext == "hex" ? kImageHex : kImageBin);
    }
    return ext == "hex" ? LoadHex(file, image) : LoadBin(file, image);
}
