#pragma once
// What the firmware-file targets share: a file of this process in the temporary folder, and
// the image invariants that hold after any load.
#include "FuzzCheck.h"

#include "servo/FirmwareFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

// The path of this process's scratch file with the given name (the folder is made once).
inline std::string ScratchFile(const std::string& name)
{
    static const std::filesystem::path folder = [] {
        auto f = std::filesystem::temp_directory_path() /
                 ("servo-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(f);
        return f;
    }();
    static const bool removedAtExit = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
        return true;
    }();
    (void)removedAtExit;
    return (folder / name).string();
}

inline void WriteScratch(const std::string& path, const unsigned char* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr, "can't create %s", path.c_str());
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size, "can't write %s", path.c_str());
    FUZZ_CHECK(std::fclose(f) == 0, "can't close %s", path.c_str());
}

// Whether every image byte from `from` on is 0xFF (a memcmp: whole-image loops are slow
// under the fuzzer's comparison tracing).
inline bool AllErased(const FirmwareImage& image, uint32_t from)
{
    static const FirmwareImage erased;
    return from >= FirmwareImage::kSize ||
           std::memcmp(image.data.data() + from, erased.data.data() + from,
                       FirmwareImage::kSize - from) == 0;
}

// `length` within the window and the block count that covers it exactly.
inline void CheckLengthAndBlocks(const FirmwareImage& image)
{
    FUZZ_CHECK(image.length <= FirmwareImage::kSize, "length %u", image.length);
    const int blocks = BlockCount(image.length);
    FUZZ_CHECK(blocks >= 0 && blocks <= 1024, "BlockCount %d", blocks);
    FUZZ_CHECK(static_cast<uint32_t>(blocks) * 64 >= image.length &&
                   (blocks == 0 || static_cast<uint32_t>(blocks - 1) * 64 < image.length),
               "BlockCount %d for length %u", blocks, image.length);
}
