// A whole HEX file through the loader, compared with its lines handed to ParseHexRecord one by
// one: the loader's reading in chunks (lines straddling a read, CR LF, a last line without
// LF) must neither lose nor invent a line. On success nothing lies past `length` and nothing
// past the window's reach of a record; on a format error the line number is the rejected
// line's.
//
// Input: two bytes that may ask for 3200 to 3455 correct 20-byte records to put first (so that
// the fuzzed part straddles the loader's 64 KiB reads), a byte choosing the name's case, then
// the file's remaining bytes.
#include "FirmwareFuzz.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char kPaddingLine[] = ":0400000001020304F2\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 3)
        return 0;
    // Big files are slow to run: only a first byte of 0xFF asks for one.
    const size_t padding = data[0] == 0xFF ? 3200 + static_cast<size_t>(data[1]) : 0;
    const char* const names[] = {"image.hex", "IMAGE.HEX", "image.Hex", "a.b.hex"};
    const std::string path = ScratchFile(names[data[2] % 4]);
    std::vector<unsigned char> file;
    file.reserve(padding * 20 + size);
    for (size_t i = 0; i < padding; ++i)
        file.insert(file.end(), kPaddingLine, kPaddingLine + 20);
    file.insert(file.end(), data + 3, data + size);
    WriteScratch(path, file.data(), file.size());

    // The image holds an earlier load's bytes: none of them may survive.
    static auto image = std::make_unique<FirmwareImage>();
    image->data.fill(0x5A);
    image->length = 12345;
    const FirmwareLoadResult r = LoadFirmwareFile(path, *image);
    FUZZ_CHECK(r.status == FirmwareLoad::Loaded || r.status == FirmwareLoad::FormatError,
               "status %d: %s", static_cast<int>(r.status), r.detail.c_str());
    FUZZ_CHECK(r.kind == kImageHex, "kind %d", r.kind);
    CheckLengthAndBlocks(*image);

    // The same lines, split over the whole file at once.
    static auto expected = std::make_unique<FirmwareImage>();
    expected->Clear();
    int line = 0, rejected = 0;
    size_t at = 0;
    while (at < file.size() && rejected == 0) {
        const auto lf = std::find(file.begin() + static_cast<long>(at), file.end(), '\n');
        const size_t end = static_cast<size_t>(lf - file.begin());
        size_t n = end - at;
        if (lf != file.end() && n > 0 && file[end - 1] == '\r')
            --n;
        ++line;
        if (ParseHexRecord(*expected, reinterpret_cast<const char*>(file.data() + at), n) < 0)
            rejected = line;
        at = end + 1;
    }
    if (rejected != 0) {
        FUZZ_CHECK(r.status == FirmwareLoad::FormatError, "line %d is bad, the load passed",
                   rejected);
        FUZZ_CHECK(r.errorLine == rejected, "error line %d, expected %d", r.errorLine, rejected);
    } else {
        FUZZ_CHECK(r.status == FirmwareLoad::Loaded, "every line is good, the load failed at %d",
                   r.errorLine);
        FUZZ_CHECK(r.errorLine == 0, "error line %d on success", r.errorLine);
        // Every stored byte lies below `length`; the records can't reach past 0x8000 + 255.
        FUZZ_CHECK(AllErased(*image, image->length), "a byte past length %u is set",
                   image->length);
        FUZZ_CHECK(image->length <= 0x8000 + 255, "length %u", image->length);
    }
    FUZZ_CHECK(image->length == expected->length, "length %u, line by line %u", image->length,
               expected->length);
    FUZZ_CHECK(std::memcmp(image->data.data(), expected->data.data(), FirmwareImage::kSize) == 0,
               "the image differs from the lines parsed one by one");
    return 0;
}
