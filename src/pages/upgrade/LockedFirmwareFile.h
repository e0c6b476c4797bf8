#pragma once
// The firmware file held for one load: an existing file on disk, opened for reading and
// writing so that a read-only one is not taken, and kept from other programs while it is read
// (a lock on POSIX systems, no sharing on Windows). FirmwareFilePosix.cpp and
// FirmwareFileWin32.cpp hold the two sides.

#include <cstddef>
#include <cstdint>
#include <string>

class LockedFirmwareFile {
public:
    explicit LockedFirmwareFile(const std::string& path);
    ~LockedFirmwareFile();
    LockedFirmwareFile(const LockedFirmwareFile&) = delete;
    LockedFirmwareFile& operator=(const LockedFirmwareFile&) = delete;

    bool IsOpen() const { return handle != kClosed; }
    // The size when it was opened.
    uint64_t Size() const { return size; }
    // Up to `room` bytes into `into`: how many came, 0 at the end of the file, -1 on an error.
    long long Read(void* into, size_t room);

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle = kClosed;  // a descriptor or a HANDLE
    uint64_t size = 0;
};
