#include "servo/ParameterFile.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A name beside `path` that nothing holds yet.
std::string FreshTempName(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::string name = path + ".tmp" + std::to_string(stamp % 1000000) + "-" +
                           std::to_string(counter++);
        std::error_code ec;
        if (!fs::exists(name, ec) && !ec)
            return name;
        if (ec)
            return name;  // the open below reports what is wrong with the folder
    }
}

}  // namespace

bool SaveParameterFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    const std::string temp = FreshTempName(path);
    std::FILE* raw = std::fopen(temp.c_str(), "wb");
    if (raw == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size() &&
              std::fflush(raw) == 0;
#ifndef _WIN32
    ok = ok && ::fsync(::fileno(raw)) == 0;  // on disk before it takes the file's name
#endif
    ok = std::fclose(raw) == 0 && ok;
    std::error_code ec;
    if (ok) {
        // An existing file keeps its permissions.
        const fs::file_status old = fs::status(path, ec);
        if (!ec && fs::exists(old))
            fs::permissions(temp, old.permissions(), ec);
        ec.clear();
        fs::rename(temp, path, ec);
        ok = !ec;
    }
    if (!ok)
        fs::remove(temp, ec);
    return ok;
}
