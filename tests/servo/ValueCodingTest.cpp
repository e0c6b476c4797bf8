// The range check and coding of a typed value.
#include "servo/ValueCoding.h"

#include <gtest/gtest.h>

namespace {

MemoryItem Item(std::string minimum, std::string maximum, std::string signBit = "-1",
                std::string area = "EPROM")
{
    MemoryItem m;
    m.address = "31";
    m.name = "位置校正";
    m.size = "2";
    m.signBit = std::move(signBit);
    m.area = std::move(area);
    m.minimum = std::move(minimum);
    m.maximum = std::move(maximum);
    return m;
}

}  // namespace

TEST(PrepareWrite, RangesAndCoding)
{
    struct Case {
        MemoryItem item;
        int value;
        std::string refusal;
        uint16_t coded;
    } cases[] = {
        {Item("0", "254"), -1, "位置校正不能小于0", 0},
        {Item("0", "254"), 255, "位置校正不能大于254", 0},
        {Item("0", "254"), 0, "", 0},
        {Item("0", "254"), 254, "", 254},
        {Item("-1", "-1"), 70000, "", 70000 - 65536},
        {Item("-1", "-1", "15"), -5, "", 0x8005},
        {Item("-1", "-1", "11"), -5, "", 0x0805},
        {Item("-2047", "2047", "11"), -2048, "位置校正不能小于-2047", 0},
        {Item("-2047", "2047", "11"), -2047, "", 0x0FFF},
        // No sign bit: a negative value has no coding and is refused as below 0.
        {Item("-1", "-1"), -3, "位置校正不能小于0", 0},
        {Item("-5", "10"), -3, "位置校正不能小于0", 0},
        {Item("-1", "-1", "20"), -3, "位置校正不能小于0", 0},
        // The maximum is checked before the missing sign bit.
        {Item("-1", "5"), 6, "位置校正不能大于5", 0},
        {Item("-1", "-1", "15"), INT32_MIN, "", 0x8000},
    };
    for (const auto& c : cases) {
        const WriteRequest r = PrepareWrite(c.item, c.value);
        EXPECT_EQ(r.refusal, c.refusal) << c.value;
        if (c.refusal.empty()) {
            EXPECT_EQ(r.value, c.coded) << c.value;
            EXPECT_EQ(r.address, 31);
            EXPECT_EQ(r.size, 2);
            EXPECT_TRUE(r.eprom);
        }
    }
    EXPECT_FALSE(PrepareWrite(Item("-1", "-1", "-1", "SRAM"), 1).eprom);
}

TEST(PrepareWrite, NamesWithPercentSignsStayAsTheyAre)
{
    MemoryItem m = Item("10", "-1");
    m.name = "%d%s";
    EXPECT_EQ(PrepareWrite(m, 3).refusal, "%d%s不能小于10");
}
