#include "catalogue/CatalogueFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CatalogueFile::CatalogueFile(const std::string& path)
{
    // Opened for reading and writing but never written, and never created.
    const int f = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (f < 0)
        return;
    struct stat st {};
    // Only a regular file: a FIFO or device under that name could block a lookup forever.
    if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(f, LOCK_EX | LOCK_NB) != 0) {
        ::close(f);
        return;
    }
    fd = f;
}

CatalogueFile::~CatalogueFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool CatalogueFile::Fill()
{
    if (atEnd)
        return false;
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    for (;;) {
        const ssize_t r = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            atEnd = true;
            return false;
        }
        end += static_cast<size_t>(r);
        return true;
    }
}

bool CatalogueFile::NextLine(std::string& line)
{
    line.clear();
    if (fd < 0)
        return false;
    bool any = false;
    for (;;) {
        const char* start = buffer.data() + begin;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end - begin));
        const size_t take = lf ? static_cast<size_t>(lf - start) : end - begin;
        if (line.size() < kMaxLine)
            line.append(start, std::min(take, kMaxLine - line.size()));
        any = any || take > 0 || lf != nullptr;
        if (lf) {
            begin += take + 1;
            break;
        }
        begin = end;
        if (!Fill())
            break;
    }
    if (!any)
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}
