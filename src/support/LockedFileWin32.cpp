// A locked file on Windows: opened for reading and writing without sharing, so a file another
// program holds makes the open fail, and no other program opens it while it is read.
#include "support/LockedFile.h"

#include <windows.h>

#include <algorithm>
#include <thread>

namespace {

HANDLE ToHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

LockedFile::LockedFile(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return;
    // Held by another program: asked for again every few milliseconds for a moment.
    const auto deadline = std::chrono::steady_clock::now() + kHeldWait;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (;;) {
        h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (h == INVALID_HANDLE_VALUE)
        return;
    // Only a file on disk: a pipe or device under that name could hold a reader up.
    LARGE_INTEGER bytes{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &bytes)) {
        ::CloseHandle(h);
        return;
    }
    handle = reinterpret_cast<intptr_t>(h);
    size = static_cast<uint64_t>(bytes.QuadPart);
}

LockedFile::~LockedFile()
{
    if (IsOpen())
        ::CloseHandle(ToHandle(handle));
}

long long LockedFile::Read(void* into, size_t room)
{
    DWORD got = 0;
    const auto ask = static_cast<DWORD>(std::min<size_t>(room, 1u << 30));
    if (!::ReadFile(ToHandle(handle), into, ask, &got, nullptr))
        return -1;
    return got;
}
