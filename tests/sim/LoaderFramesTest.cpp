#include "servo/LoaderFrames.h"

#include <gtest/gtest.h>

#include <vector>

TEST(Crc16, KnownCheckValues)
{
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(LoaderCrc().Compute(digits, 9), 0x31C3);  // XMODEM
    Crc16 kermit;
    kermit.Configure(0, 0, 0x1021, 1);
    EXPECT_EQ(kermit.poly, 0x8408);
    EXPECT_EQ(kermit.Compute(digits, 9), 0x2189);
    Crc16 ccitt;
    ccitt.Configure(0xFFFF, 0, 0x1021, 0);
    EXPECT_EQ(ccitt.Compute(digits, 9), 0x29B1);
    EXPECT_EQ(ccitt.Compute(digits, 0), 0xFFFF);
}

TEST(UpgradeBlock, NumbersKindsCrcAndTrailer)
{
    std::vector<uint8_t> image(64 * 300, 0xFF);
    const Crc16 crc = LoaderCrc();
    auto b = BuildUpgradeBlock(image.data(), image.size(), 1, 300, 0, crc);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xFE);
    EXPECT_EQ(b[2], 0);
    EXPECT_EQ(b[67], 0x27);  // 64 bytes of 0xFF
    EXPECT_EQ(b[68], 0x8E);
    EXPECT_EQ(b[69], kBlockMore);
    b = BuildUpgradeBlock(image.data(), image.size(), 256, 300, 1, crc);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0xFF);
    EXPECT_EQ(b[2], 1);
    b = BuildUpgradeBlock(image.data(), image.size(), 257, 300, 1, crc);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(b[1], 0xFE);
    b = BuildUpgradeBlock(image.data(), 10, 1, 1, 1, crc);
    EXPECT_EQ(b[69], kBlockLast);
    EXPECT_EQ(b[3 + 10], 0xFF);  // past the image
    EXPECT_TRUE(IsValidUpgradeBlock(b, crc));
    b[40] ^= 0x80;
    EXPECT_FALSE(IsValidUpgradeBlock(b, crc));
}
