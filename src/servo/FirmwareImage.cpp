#include "servo/FirmwareImage.h"

#include <algorithm>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte of the two digits at `at`; the digits have been checked.
uint32_t ByteAt(const char* line, size_t at)
{
    return static_cast<uint32_t>(HexDigit(line[at]) * 16 + HexDigit(line[at + 1]));
}

}  // namespace

int ParseHexRecord(FirmwareImage& image, const char* line, size_t n)
{
    if (line == nullptr || n < 11 || line[0] != ':')
        return -1;
    for (size_t i = 1; i < n; ++i)
        if (HexDigit(line[i]) < 0)
            return -1;
    const uint32_t count = ByteAt(line, 1);
    if (n != 11 + 2 * static_cast<size_t>(count))
        return -1;
    const uint32_t address = ByteAt(line, 3) << 8 | ByteAt(line, 5);
    const uint32_t type = ByteAt(line, 7);
    if (type != 0)
        return 1;  // end of file, segment and linear addresses: taken as they are, unchecked

    uint32_t offset = address;
    if (offset >= image.base)
        offset -= image.base;
    if (offset + count > FirmwareImage::kSize)
        return -1;
    uint32_t sum = count + (address >> 8) + (address & 0xFF);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t value = ByteAt(line, 9 + 2 * k);
        image.data[offset + k] = static_cast<uint8_t>(value);
        sum += value;
    }
    const uint32_t checksum = ByteAt(line, n - 2);
    if (((256 - sum % 256) % 256) != checksum)
        return -1;
    if (count > 0)
        image.length = std::max(image.length, offset + count);
    return 1;
}

int BlockCount(uint32_t length)
{
    return static_cast<int>(length / 64 + (length % 64 ? 1 : 0));
}
