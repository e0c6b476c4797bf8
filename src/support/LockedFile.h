#pragma once
// A file held for one read-through (the catalogue for a lookup, a firmware file for a load):
// an existing regular file on disk, opened for reading and writing so that a read-only one is
// not taken, and kept from other programs while it is read (a lock on POSIX systems, no
// sharing on Windows). A file another program holds is asked for again for a moment
// (kHeldWait): two programs on one machine often look up the catalogue at the same instant, and
// each holds it for a few milliseconds only. LockedFilePosix.cpp and LockedFileWin32.cpp hold
// the two sides.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class LockedFile {
public:
    explicit LockedFile(const std::string& path);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool IsOpen() const { return handle != kClosed; }
    // The size when it was opened.
    uint64_t Size() const { return size; }
    // Up to `room` bytes into `into`: how many came, 0 at the end of the file, -1 on an error.
    long long Read(void* into, size_t room);

    static constexpr std::chrono::milliseconds kHeldWait{250};

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle = kClosed;  // a descriptor or a HANDLE
    uint64_t size = 0;
};
