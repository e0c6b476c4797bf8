// A whole BIN file through the loader: a file of at most 65536 bytes becomes image bytes 0 to
// size-1 with `length` its size and 0xFF after it; a longer one is a format error with
// `length` 0. Nothing of the image's earlier bytes survives a load.
//
// Input: a byte whose bit 7 stretches the file to near the window's size (65472 + the next
// byte, filled up after the input's bytes) and whose low bits choose the name's
// case, then the file's bytes.
#include "FirmwareFuzz.h"

#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 2)
        return 0;
    const char* const names[] = {"image.bin", "IMAGE.BIN", "image.Bin", "x.hex.bin"};
    const std::string path = ScratchFile(names[data[0] & 3]);
    std::vector<unsigned char> file(data + 2, data + size);
    if (data[0] & 0x80) {
        const size_t stretched = FirmwareImage::kSize - 64 + data[1];
        if (file.size() < stretched)
            file.resize(stretched, static_cast<unsigned char>(data[1] ^ 0x3C));
    }
    WriteScratch(path, file.data(), file.size());

    static auto image = std::make_unique<FirmwareImage>();
    image->data.fill(0x5A);
    image->length = 777;
    const FirmwareLoadResult r = LoadFirmwareFile(path, *image);
    FUZZ_CHECK(r.kind == kImageBin, "kind %d", r.kind);
    CheckLengthAndBlocks(*image);
    if (file.size() > FirmwareImage::kSize) {
        FUZZ_CHECK(r.status == FirmwareLoad::FormatError, "a %zu-byte file loaded", file.size());
        FUZZ_CHECK(image->length == 0, "length %u after a refused file", image->length);
        return 0;
    }
    FUZZ_CHECK(r.status == FirmwareLoad::Loaded, "a %zu-byte file failed: %s", file.size(),
               r.detail.c_str());
    FUZZ_CHECK(image->length == file.size(), "length %u for %zu bytes", image->length,
               file.size());
    FUZZ_CHECK(file.empty() || std::memcmp(image->data.data(), file.data(), file.size()) == 0,
               "the image is not the file");
    FUZZ_CHECK(AllErased(*image, image->length), "a byte past the file is set");
    return 0;
}
