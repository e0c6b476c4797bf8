// Faults the fuzz targets and the fault runs found in the protocol, kept as tests of the
// ordinary suite.
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
        EXPECT_EQ(ch.WriteMemory(ch.profile, 1, 40, data, 0).ok(), 1);
        EXPECT_EQ(ch.sent, (Bytes{0xFF, 0xFF, 0x01, 0x03, 0x03, 0x28, 0xD0}));
    }
}

// Data bytes that aren't there are not sent, and no status is awaited for them.
TEST(FuzzFound, WriteWithoutItsDataSendsNothing)
{
    ScriptedChannel ch;
    EXPECT_EQ(ch.RegWriteMemory(ch.profile, 1, 40, nullptr, 3).ok(), 0);
    EXPECT_TRUE(ch.sent.empty());
}

// A late answer from the servo asked before (it came after that exchange's time-out, so the
// flush before this request could not drop it) is not this servo's answer.
TEST(FaultFound, ALateReplyFromAnotherIdIsNoAnswer)
{
    ScriptedChannel ch;
    ch.Reply({0xFF, 0xFF, 1, 11, 0, 5, 3, 0, 12, 1, 1, 4, 0, 1, 0xD8});
    uint8_t key[9] = {};
    EXPECT_EQ(ch.ReadMemory(2, 0, key, 9).count, 0);
    ScriptedChannel own;
    own.Reply({0xFF, 0xFF, 2, 11, 0, 5, 3, 0, 12, 1, 1, 4, 0, 1, 0xD7});
    EXPECT_EQ(own.ReadMemory(2, 0, key, 9).count, 9);
}
