#include "servo/LoaderFrames.h"

Crc16 LoaderCrc()
{
    Crc16 crc;
    crc.Configure(0, 0, 0x1021, 0);
    return crc;
}

UpgradeBlock BuildUpgradeBlock(const uint8_t* image, size_t size, int index, int blockCount,
                               uint8_t kind, const Crc16& crc)
{
    UpgradeBlock block{};
    block[0] = static_cast<uint8_t>(index);
    block[1] = static_cast<uint8_t>(~block[0]);
    block[2] = kind;
    const size_t start = static_cast<size_t>(index - 1) * kBlockDataSize;
    for (size_t i = 0; i < kBlockDataSize; ++i)
        block[3 + i] = start + i < size ? image[start + i] : 0xFF;
    const uint16_t c = crc.Compute(block.data() + 3, kBlockDataSize);
    block[67] = static_cast<uint8_t>(c >> 8);
    block[68] = static_cast<uint8_t>(c);
    block[69] = index == blockCount ? kBlockLast : kBlockMore;
    return block;
}

bool IsValidUpgradeBlock(const UpgradeBlock& block, const Crc16& crc)
{
    const uint16_t c = crc.Compute(block.data() + 3, kBlockDataSize);
    return block[1] == static_cast<uint8_t>(~block[0]) && block[67] == (c >> 8) &&
           block[68] == (c & 0xFF) && (block[69] == kBlockMore || block[69] == kBlockLast);
}
