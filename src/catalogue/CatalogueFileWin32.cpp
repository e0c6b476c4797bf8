// The catalogue file on Windows: opened for reading and writing without sharing, so a second
// lookup or another program holding the file makes the open fail.
#include "catalogue/CatalogueFile.h"

#include <windows.h>

#include <cstring>

namespace {

HANDLE ToHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

CatalogueFile::CatalogueFile(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return;
    // Opened for reading and writing but never written, and never created.
    const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    // Only a file on disk: a pipe or device under that name could block a lookup forever.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return;
    }
    fd = static_cast<int>(reinterpret_cast<intptr_t>(h));
}

CatalogueFile::~CatalogueFile()
{
    if (fd >= 0)
        ::CloseHandle(ToHandle(fd));
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
    DWORD got = 0;
    if (!::ReadFile(ToHandle(fd), buffer.data() + end, static_cast<DWORD>(buffer.size() - end),
                    &got, nullptr) ||
        got == 0) {
        atEnd = true;
        return false;
    }
    end += got;
    return true;
}
