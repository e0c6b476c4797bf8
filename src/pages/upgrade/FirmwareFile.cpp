#include "pages/upgrade/FirmwareFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// An open, locked firmware file; closed (and so unlocked) at the end of the load.
class LockedFile {
public:
    explicit LockedFile(const std::string& path)
    {
        // Non-blocking, so that a FIFO or a device can't hold the load up; only regular files
        // are read.
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            Close();
            return;
        }
        size = st.st_size;
    }
    ~LockedFile() { Close(); }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Fd() const { return fd; }
    off_t Size() const { return size; }
    // Hands the descriptor to a FILE that closes it.
    FILE* ToStream()
    {
        FILE* f = ::fdopen(fd, "r");
        if (f)
            fd = -1;
        return f;
    }

private:
    void Close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fd = -1;
    off_t size = 0;
};

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
    FILE* in = file.ToStream();
    if (!in)
        return Result(FirmwareLoad::CannotOpen);
    image.Clear();
    char* line = nullptr;
    size_t capacity = 0;
    int number = 0;
    FirmwareLoadResult result = Result(FirmwareLoad::Loaded, kImageHex);
    for (;;) {
        const ssize_t got = ::getline(&line, &capacity, in);
        if (got < 0)
            break;
        ++number;
        size_t n = static_cast<size_t>(got);
        // Read as text: the line end LF, or CR LF, is not part of the line; any other CR is.
        if (n > 0 && line[n - 1] == '\n') {
            --n;
            if (n > 0 && line[n - 1] == '\r')
                --n;
        }
        if (ParseHexRecord(image, line, n) < 0) {
            result = Result(FirmwareLoad::FormatError, kImageHex, number, "bad record");
            break;
        }
    }
    std::free(line);
    std::fclose(in);
    return result;
}

FirmwareLoadResult LoadBin(LockedFile& file, FirmwareImage& image)
{
    if (file.Size() > static_cast<off_t>(FirmwareImage::kSize)) {
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
        const ssize_t r = room > 0 ? ::read(file.Fd(), at, room) : ::read(file.Fd(), &extra, 1);
        if (r < 0 && errno == EINTR)
            continue;
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
