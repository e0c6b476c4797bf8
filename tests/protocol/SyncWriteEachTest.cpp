// The sync write whose groups carry their own blocks: the exact bytes, and a packet whose
// length byte can't count its groups never sent.
#include "ScriptedChannel.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SyncWriteEach, EachGroupItsOwnBlock)
{
    ScriptedChannel ch;
    // Servo 1 switched on, servo 2 off, at address 40.
    const uint8_t groups[] = {1, 1, 2, 0};
    EXPECT_TRUE(ch.SyncWriteEach(40, 1, groups, 2));
    EXPECT_EQ(ch.sent, (std::vector<uint8_t>{0xFF, 0xFF, 0xFE, 0x08, 0x83, 0x28, 0x01, 0x01, 0x01, 0x02,
                                             0x00, 0x49}));

    // 31 groups of a 7-byte block fit (LEN 252); 32 would not, and nothing goes out.
    std::vector<uint8_t> many(32 * 8, 3);
    ScriptedChannel full;
    EXPECT_EQ(full.SyncWriteEach(41, 7, many.data(), 32).outcome, Outcome::WriteFailed);
    EXPECT_TRUE(full.sent.empty());
    EXPECT_TRUE(full.SyncWriteEach(41, 7, many.data(), 31));
    EXPECT_EQ(full.sent[3], 252);
    EXPECT_EQ(full.sent.size(), 7u + 31 * 8 + 1);
}
