// The catalogue file on POSIX systems: an advisory lock keeps other lookups and programs out.
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
