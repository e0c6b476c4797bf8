// One HEX line into an image that already holds bytes: the line may change only the bytes of
// its own record's range, `length` only grows to that range's end, and BlockCount follows
// `length`.
//
// Input: the byte the image is filled with, three bytes of the starting `length` (taken
// modulo 65537), then the line itself (any bytes, no line end removed).
#include "FuzzCheck.h"

#include "servo/FirmwareImage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

int Digit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int ByteAt(const unsigned char* line, size_t at)
{
    return Digit(line[at]) * 16 + Digit(line[at + 1]);
}

// What the line says of itself, read independently of the parser: whether it is a
// well-formed record at all, its type, count, address and checksum.
struct Shape {
    bool wellFormed = false;
    int type = 0;
    uint32_t count = 0, address = 0;
    bool checksumRight = false;
};

Shape ShapeOf(const unsigned char* line, size_t n)
{
    Shape s;
    if (n < 11 || line[0] != ':')
        return s;
    for (size_t i = 1; i < n; ++i)
        if (Digit(line[i]) < 0)
            return s;
    s.count = static_cast<uint32_t>(ByteAt(line, 1));
    if (n != 11 + 2 * static_cast<size_t>(s.count))
        return s;
    s.wellFormed = true;
    s.address = static_cast<uint32_t>(ByteAt(line, 3) << 8 | ByteAt(line, 5));
    s.type = ByteAt(line, 7);
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < n; i += 2)
        sum += static_cast<unsigned>(ByteAt(line, i));
    s.checksumRight = sum % 256 == 0;  // every byte, the checksum included, sums to 0
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 4)
        return 0;
    // Whole-image loops would be slow under the fuzzer's comparison tracing: the images are
    // kept across runs and compared with memcmp.
    static auto image = std::make_unique<FirmwareImage>();
    static auto before = std::make_unique<FirmwareImage>();
    image->data.fill(data[0]);
    image->length = (static_cast<uint32_t>(data[1]) << 16 | data[2] << 8 | data[3]) %
                    (FirmwareImage::kSize + 1);
    *before = *image;
    const unsigned char* line = data + 4;
    const size_t n = size - 4;

    const int result = ParseHexRecord(*image, reinterpret_cast<const char*>(line), n);
    FUZZ_CHECK(result == 1 || result == -1, "result %d", result);
    FUZZ_CHECK(image->base == before->base, "base changed");
    FUZZ_CHECK(image->length <= FirmwareImage::kSize, "length %u", image->length);
    const int blocks = BlockCount(image->length);
    FUZZ_CHECK(blocks >= 0 && static_cast<uint32_t>(blocks) * 64 >= image->length &&
                   (blocks == 0 || static_cast<uint32_t>(blocks - 1) * 64 < image->length),
               "BlockCount %d for length %u", blocks, image->length);

    const Shape s = ShapeOf(line, n);
    // The bytes the record may change: its own range, less the base where it lies above it.
    uint32_t from = 0, to = 0;
    if (s.wellFormed && s.type == 0) {
        from = s.address >= before->base ? s.address - before->base : s.address;
        to = from + s.count;
        if (to > FirmwareImage::kSize)
            from = to = 0;  // refused before anything is stored
    }
    const auto same = [&](uint32_t a, uint32_t b) {
        return std::memcmp(image->data.data() + a, before->data.data() + a, b - a) == 0;
    };
    FUZZ_CHECK(same(0, from) && same(to, FirmwareImage::kSize), "a byte outside [%u, %u) changed",
               from, to);

    if (!s.wellFormed) {
        FUZZ_CHECK(result == -1, "a malformed line was accepted");
    } else if (s.type != 0) {
        FUZZ_CHECK(result == 1, "a non-data record was refused");
        FUZZ_CHECK(std::memcmp(image->data.data(), before->data.data(), FirmwareImage::kSize) == 0,
                   "a non-data record stored bytes");
    } else if (to == 0 && s.count > 0) {
        FUZZ_CHECK(result == -1, "a record past the window was accepted");
    } else {
        FUZZ_CHECK(result == (s.checksumRight ? 1 : -1), "checksum judged wrongly");
        for (uint32_t k = 0; k < s.count; ++k)
            FUZZ_CHECK(image->data[from + k] == ByteAt(line, 9 + 2 * k), "data byte %u", k);
    }
    const uint32_t expectedLength =
        result == 1 && s.type == 0 && s.count > 0 ? std::max(before->length, to) : before->length;
    FUZZ_CHECK(image->length == expectedLength, "length %u, expected %u", image->length,
               expectedLength);
    return 0;
}
