// The plot's shrinking copy: each target pixel the mean of the source pixels it covers.
#include "plot/AverageScale.h"

#include <gtest/gtest.h>

namespace {

TEST(AverageScale, TargetPixelsAreTheMeansOfTheirAreas)
{
    // 6 × 4 source: left half black, right half white, one red pixel at (5, 3).
    std::vector<uint32_t> src(6 * 4, 0xFF000000u);
    for (int y = 0; y < 4; ++y)
        for (int x = 3; x < 6; ++x)
            src[static_cast<size_t>(y * 6 + x)] = 0xFFFFFFFFu;
    src[3 * 6 + 5] = 0xFFFF0000u;
    std::vector<uint32_t> dst(2 * 2 + 2, 0x12345678u);  // stride 3: the spare column untouched
    std::vector<uint32_t> work;
    AverageScale({src.data(), 6, 4, 6}, {dst.data(), 2, 2, 3}, work);
    EXPECT_EQ(dst[0], 0xFF000000u);
    EXPECT_EQ(dst[1], 0xFFFFFFFFu);
    EXPECT_EQ(dst[2], 0x12345678u);
    EXPECT_EQ(dst[3], 0xFF000000u);
    // Five white and one red over six pixels: red full, green and blue 5/6 of 255.
    EXPECT_EQ(dst[4], 0xFFFFD4D4u);
}

TEST(AverageScale, OddRatiosAndGrowingStayInside)
{
    std::vector<uint32_t> src(7 * 5, 0xFF808080u);
    std::vector<uint32_t> work;
    for (auto [w, h] : {std::pair{3, 2}, {7, 5}, {10, 9}, {1, 1}}) {
        std::vector<uint32_t> dst(static_cast<size_t>(w * h) + 1, 0);
        AverageScale({src.data(), 7, 5, 7}, {dst.data(), w, h, w}, work);
        for (int i = 0; i < w * h; ++i)
            EXPECT_EQ(dst[static_cast<size_t>(i)], 0xFF808080u) << w << "x" << h;
        EXPECT_EQ(dst.back(), 0u);  // nothing written past the target
    }
    // Far smaller targets: white stays white, no lane spills into the next.
    std::vector<uint32_t> wide(400 * 40, 0xFFFFFFFFu);
    uint32_t one = 0;
    AverageScale({wide.data(), 400, 40, 400}, {&one, 1, 1, 1}, work);
    EXPECT_EQ(one, 0xFFFFFFFFu);
    // Empty images do nothing.
    AverageScale({src.data(), 0, 5, 7}, {src.data(), 3, 3, 3}, work);
    EXPECT_EQ(src[0], 0xFF808080u);
}

}  // namespace
