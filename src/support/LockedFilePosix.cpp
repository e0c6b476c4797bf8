// A locked file on POSIX systems: an advisory lock keeps other programs out.
#include "support/LockedFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

// The lock, asked for again every few milliseconds while another program holds it.
bool Lock(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + LockedFile::kHeldWait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

LockedFile::LockedFile(const std::string& path)
{
    // Non-blocking, so that a FIFO or a device can't hold a reader up; only regular files
    // are read.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !Lock(fd)) {
        ::close(fd);
        return;
    }
    handle = fd;
    size = static_cast<uint64_t>(st.st_size);
}

LockedFile::~LockedFile()
{
    if (IsOpen())
        ::close(static_cast<int>(handle));
}

long long LockedFile::Read(void* into, size_t room)
{
    for (;;) {
        const ssize_t r = ::read(static_cast<int>(handle), into, room);
        if (r < 0 && errno == EINTR)
            continue;
        return r;
    }
}
