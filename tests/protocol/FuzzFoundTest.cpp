// Faults the fuzz targets found in the protocol, kept as tests of the ordinary suite.
#include "ScriptedChannel.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

// An empty block (an empty vector's data() is null) still goes out as a write to its
// address, not as a write instruction without parameters.
TEST(FuzzFound, WriteOfAnEmptyBlockKeepsItsAddress)
{
    static const uint8_t some[1] = {7};
    for (const uint8_t* data : {static_cast<const uint8_t*>(nullptr), some}) {
        ScriptedChannel ch;
        ch.Reply({0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC});
        EXPECT_EQ(ch.WriteMemory(1, 40, data, 0), 1);
        EXPECT_EQ(ch.sent, (Bytes{0xFF, 0xFF, 0x01, 0x03, 0x03, 0x28, 0xD0}));
    }
}

// Data bytes that aren't there are not sent, and no status is awaited for them.
TEST(FuzzFound, WriteWithoutItsDataSendsNothing)
{
    ScriptedChannel ch;
    EXPECT_EQ(ch.RegWriteMemory(1, 40, nullptr, 3), 0);
    EXPECT_TRUE(ch.sent.empty());
}
