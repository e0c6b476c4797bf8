#include "catalogue/CatalogueLocation.h"

#include <windows.h>

#include <exception>
#include <filesystem>
#include <string>

// The zip holds the catalogue beside the programs: the folder of the running program.
std::string InstalledDataDir()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    try {
        return std::filesystem::path(path).parent_path().string();
    } catch (const std::exception&) {
        return {};  // a folder name the narrow code page can't hold: look nowhere
    }
}
