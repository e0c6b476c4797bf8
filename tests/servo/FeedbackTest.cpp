// Decoding of the polled feedback block: fields, sign bits, byte order, texts, the speed
// factor, and the read range of odd profiles.
#include "servo/Feedback.h"
#include "words/ConsoleWords.h"

#include <gtest/gtest.h>

namespace {

FeedbackBlock Block(std::initializer_list<std::pair<int, int>> bytes)
{
    FeedbackBlock b{};
    for (auto [offset, value] : bytes)
        b[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
    return b;
}

TEST(Feedback, VoltageAndTemperatureTexts)
{
    EXPECT_EQ(VoltageText(74), "7.4 V");
    EXPECT_EQ(VoltageText(120), "12.0 V");
    EXPECT_EQ(VoltageText(5), "0.5 V");
    EXPECT_EQ(TemperatureText(35), "35 度");
    const Feedback f = DecodeFeedback(Block({{6, 255}, {7, 200}}), false);
    EXPECT_EQ(FormatFeedback(f).voltage, "25.5 V");
    EXPECT_EQ(FormatFeedback(f).temperature, "200 度");
}

TEST(Feedback, SignBitsAndByteOrder)
{
    struct Case {
        FeedbackBlock block;
        bool highFirst;
        int position, speed, load, target, current, fastSlow;
    } cases[] = {
        // Load has its sign in bit 10, the others in bit 15.
        {Block({{4, 0x64}, {5, 0x04}}), false, 0, 0, -100, 0, 0, 0},
        {Block({{4, 0x64}, {5, 0x00}}), false, 0, 0, 100, 0, 0, 0},
        {Block({{0, 0x64}, {1, 0x80}}), false, -100, 0, 0, 0, 0, 0},
        {Block({{0, 0x00}, {1, 0x64}}), true, 100, 0, 0, 0, 0, 0},
        {Block({{0, 0x64}, {1, 0x00}}), false, 100, 0, 0, 0, 0, 0},
        // Bit 15 of a load is not its sign.
        {Block({{4, 0x00}, {5, 0x80}}), false, 0, 0, -32768, 0, 0, 0},
        {Block({{2, 0x80}, {3, 0x0F}, {11, 0x07}, {12, 0xFF}, {13, 0x80}, {14, 0x05},
                {15, 0x00}, {16, 0x0A}}),
         true, 0, -15, 0, 2047, -5, 10},
    };
    for (const auto& c : cases) {
        const Feedback f = DecodeFeedback(c.block, c.highFirst);
        EXPECT_EQ(f.position, c.position);
        EXPECT_EQ(f.speed, c.speed);
        EXPECT_EQ(f.load, c.load);
        EXPECT_EQ(f.target, c.target);
        EXPECT_EQ(f.current, c.current);
        EXPECT_EQ(f.fastSlow, c.fastSlow);
    }
}

TEST(Feedback, SingleByteFieldsAndTheirTexts)
{
    const Feedback f = DecodeFeedback(
        Block({{0, 0xFF}, {1, 0x07}, {6, 74}, {7, 35}, {8, 1}, {9, 0x25}, {10, 1}}), false);
    const FeedbackTexts t = FormatFeedback(f);
    EXPECT_EQ(t.position, "2047");
    EXPECT_EQ(t.voltage, "7.4 V");
    EXPECT_EQ(t.temperature, "35 度");
    EXPECT_EQ(t.moving, "1");
    EXPECT_EQ(t.status, "过压/欠压 过热 过载");
}

TEST(Feedback, SpeedFactorTruncatesTowardZero)
{
    struct Case {
        int value, factor, sample;
    } cases[] = {{-15, 10, -15}, {-15, 5, -7}, {15, 5, 7}, {100, 20, 200}, {3, 0, 0},
                 {-32767, 255, -835558}};
    for (const auto& c : cases)
        EXPECT_EQ(ScaleBySpeedFactor(c.value, c.factor), c.sample) << c.value << " " << c.factor;
}

TEST(Feedback, ReadRangeStaysInsideTheBlock)
{
    struct Case {
        int first, last, address, count;
    } cases[] = {
        {56, 68, 56, 13}, {56, 72, 56, 17}, {56, 79, 56, 24},
        {56, 200, 56, 24},  // longer than the block: the block's worth
        {60, 59, 60, 0},    // ends before it starts: nothing
        {0, 0, 0, 1},       {250, 255, 250, 6},
    };
    for (const auto& c : cases) {
        const FeedbackRange r = FeedbackReadRange(c.first, c.last);
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(r.count, c.count) << c.first << ".." << c.last;
    }
    EXPECT_EQ(EffectiveDivisor(0), 1);
    EXPECT_EQ(EffectiveDivisor(4), 4);
}

}  // namespace
