// What each operation flushes, sends and waits for, and how replies decide its result.
#include "ScriptedChannel.h"

#include <gtest/gtest.h>

#include <functional>

using Events = std::vector<std::string>;

namespace {

const Events kWriteSeq = {"flush", "send6", "send1", "send1", "recv6"};

struct SequenceCase {
    const char* name;
    std::function<int(ZNS&)> call;
    Events expected;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class Sequence : public testing::TestWithParam<SequenceCase> {};

TEST_P(Sequence, FlushesSendsAndAwaitsAsDefined)
{
    ScriptedChannel ch;
    ch.Reply({0xFF, 0xFF, 1, 2, 0, 0xFC, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0});
    GetParam().call(ch);
    EXPECT_EQ(ch.events, GetParam().expected);
}

const uint8_t ids[] = {1, 2};

INSTANTIATE_TEST_SUITE_P(
    Operations, Sequence,
    testing::Values(
        SequenceCase{"Read", [](ZNS& z) { uint8_t b[4]; return z.ReadMemory(1, 0, b, 4); },
                     {"flush", "send6", "send1", "send1", "recv5", "recv4", "recv1"}},
        SequenceCase{"WriteByte", [](ZNS& z) { return z.WriteByte(1, 5, 1); }, kWriteSeq},
        SequenceCase{"WriteWord", [](ZNS& z) { return z.WriteWord(1, 5, 1); },
                     {"flush", "send6", "send2", "send1", "recv6"}},
        SequenceCase{"WriteMemory",
                     [](ZNS& z) { uint8_t d[3] = {}; return z.WriteMemory(1, 0, d, 3); },
                     {"flush", "send6", "send3", "send1", "recv6"}},
        SequenceCase{"RegWriteMemory",
                     [](ZNS& z) { uint8_t d = 1; return z.RegWriteMemory(1, 40, &d, 1); },
                     kWriteSeq},
        SequenceCase{"WritePosition", [](ZNS& z) { return z.WritePosition(1, 0, 0, 0, 0); },
                     {"flush", "send6", "send7", "send1", "recv6"}},
        SequenceCase{"RegWritePosition",
                     [](ZNS& z) { return z.RegWritePosition(1, 0, 0, 0, 0); },
                     {"flush", "send6", "send7", "send1", "recv6"}},
        SequenceCase{"Restore", [](ZNS& z) { return z.RestoreParameters(1); },
                     {"flush", "send5", "send1", "recv6"}},
        SequenceCase{"Risky", [](ZNS& z) { return z.RiskyOperation(1); },
                     {"flush", "send5", "send1", "recv6"}},
        SequenceCase{"ResetAngle", [](ZNS& z) { return z.ResetAngle(1); },
                     {"flush", "send5", "send1", "recv6"}},
        SequenceCase{"ActionSendsOnly", [](ZNS& z) { return z.Action(); }, {"send5", "send1"}},
        SequenceCase{"UpgradeSendsOnly", [](ZNS& z) { return z.RequestUpgrade(1); },
                     {"send5", "send1"}},
        SequenceCase{"SyncSendsOnly",
                     [](ZNS& z) { return z.SyncWritePosition(ids, 2, 0, 0, 0, 0); },
                     {"send7", "send1", "send7", "send1", "send7", "send1"}}),
    [](const testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.name); });

TEST(AwaitStatus, BroadcastAndSilentServosAreNotAwaited)
{
    ScriptedChannel ch;
    EXPECT_EQ(ch.AwaitStatus(254), 1);
    ch.statusLevel = 0;
    EXPECT_EQ(ch.AwaitStatus(1), 1);
    EXPECT_EQ(ch.WritePosition(1, 0, 0, 0, 0), 1);
    for (const auto& e : ch.events)
        EXPECT_EQ(e.rfind("recv", 0), std::string::npos) << e;
}

TEST(AwaitStatus, NeedsSixBytesOfAnyContent)
{
    ScriptedChannel shortReply;
    shortReply.Reply({0xFF, 0xFF, 1, 2, 0});
    EXPECT_EQ(shortReply.WriteByte(1, 40, 1), 0);

    ScriptedChannel garbage;
    garbage.Reply({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    EXPECT_EQ(garbage.WriteByte(1, 40, 1), 1);
}

TEST(ReadExchange, NeedsHeadAndChecksumButCountsTheDataItGot)
{
    uint8_t data[9] = {};

    ScriptedChannel noChecksum;  // the reply stops after the data
    noChecksum.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(noChecksum.ReadMemory(1, 0, data, 9), 0);

    ScriptedChannel cutData;  // the data receive times out after 3 bytes
    cutData.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 0xAA});
    cutData.Limit({5, 3, 1});
    EXPECT_EQ(cutData.ReadMemory(1, 0, data, 9), 3);
    EXPECT_EQ(data[2], 3);

    ScriptedChannel oneShort;  // the checksum fills the last data place
    oneShort.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0xCC});
    EXPECT_EQ(oneShort.ReadMemory(1, 0, data, 9), 0);

    ScriptedChannel headOnly;
    headOnly.Reply({0xFF, 0xFF, 1, 11});
    EXPECT_EQ(headOnly.ReadMemory(1, 0, data, 9), 0);

    ScriptedChannel whole;
    whole.Reply({0xFF, 0xFF, 1, 11, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0x00});
    EXPECT_EQ(whole.ReadMemory(1, 0, data, 9), 9);
    EXPECT_EQ(data[0], 9);
    EXPECT_EQ(data[8], 1);
}

TEST(ReadExchange, PendingBytesAreDroppedBeforeRequestsButNotBeforeBroadcasts)
{
    ScriptedChannel ch;
    ch.pending = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    ch.Reply({0xFF, 0xFF, 1, 3, 0, 0x42, 0xB9});
    uint8_t value = 0;
    EXPECT_EQ(ch.ReadMemory(1, 5, &value, 1), 1);
    EXPECT_EQ(value, 0x42);

    ScriptedChannel w;
    w.pending = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(w.WriteByte(1, 5, 1), 0);  // the stale status packet is not taken for the reply

    ScriptedChannel a;
    a.pending = {1, 2, 3};
    a.Action();
    a.SyncWritePosition(nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(a.pending.size(), 3u);
}

TEST(ReadExchange, AnOverlongReplyNeverWritesPastTheBuffer)
{
    ScriptedChannel ch;
    std::vector<uint8_t> reply(300, 0xAB);
    reply[2] = 1;  // from the servo asked
    ch.Reply(reply);
    uint8_t buffer[6] = {0, 0, 0, 0, 0x5A, 0x5A};
    EXPECT_EQ(ch.ReadMemory(1, 0, buffer, 4), 4);
    EXPECT_EQ(buffer[4], 0x5A);
    EXPECT_EQ(buffer[5], 0x5A);
}

TEST(ReadExchange, IsNotAffectedByStatusLevel)
{
    ScriptedChannel ch;
    ch.statusLevel = 0;
    ch.Reply({0xFF, 0xFF, 1, 3, 0, 7, 0});
    uint8_t v = 0;
    EXPECT_EQ(ch.ReadMemory(1, 0, &v, 1), 1);
}

}  // namespace
