// What each operation flushes, sends and waits for, and how replies decide its result.
#include "ScriptedChannel.h"

#include <gtest/gtest.h>

#include <functional>

using Events = std::vector<std::string>;

namespace {

const Events kWriteSeq = {"flush", "send8", "recv6"};

struct SequenceCase {
    const char* name;
    std::function<Reply(ZNS&)> call;
    Events expected;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class Sequence : public testing::TestWithParam<SequenceCase> {};

TEST_P(Sequence, FlushesSendsAndAwaitsAsDefined)
{
    ScriptedChannel ch;
    // A whole status packet, or a whole reply to a read of four bytes.
    if (std::string(GetParam().name) == "Read")
        ch.Reply({0xFF, 0xFF, 1, 6, 0, 1, 2, 3, 4, 0xEE});
    else
        ch.Reply({0xFF, 0xFF, 1, 2, 0, 0xFC});
    EXPECT_TRUE(GetParam().call(ch).ok());
    EXPECT_EQ(ch.events, GetParam().expected);
}

const uint8_t ids[] = {1, 2};

INSTANTIATE_TEST_SUITE_P(
    Operations, Sequence,
    testing::Values(
        SequenceCase{"Read", [](ZNS& z) { uint8_t b[4]; return z.ReadMemory(1, 0, b, 4); },
                     {"flush", "send8", "recv5", "recv4", "recv1"}},
        SequenceCase{"WriteByte", [](ZNS& z) { return z.WriteByte(ServoProfile{}, 1, 5, 1); }, kWriteSeq},
        SequenceCase{"WriteWord", [](ZNS& z) { return z.WriteWord(ServoProfile{}, 1, 5, 1); },
                     {"flush", "send9", "recv6"}},
        SequenceCase{"WriteMemory",
                     [](ZNS& z) { uint8_t d[3] = {}; return z.WriteMemory(ServoProfile{}, 1, 0, d, 3); },
                     {"flush", "send10", "recv6"}},
        SequenceCase{"RegWriteMemory",
                     [](ZNS& z) { uint8_t d = 1; return z.RegWriteMemory(ServoProfile{}, 1, 40, &d, 1); },
                     kWriteSeq},
        SequenceCase{"WritePosition", [](ZNS& z) { return z.WritePosition(ServoProfile{}, 1, 0, 0, 0, 0); },
                     {"flush", "send14", "recv6"}},
        SequenceCase{"RegWritePosition",
                     [](ZNS& z) { return z.RegWritePosition(ServoProfile{}, 1, 0, 0, 0, 0); },
                     {"flush", "send14", "recv6"}},
        SequenceCase{"Restore", [](ZNS& z) { return z.RestoreParameters(ServoProfile{}, 1); },
                     {"flush", "send6", "recv6"}},
        SequenceCase{"Risky", [](ZNS& z) { return z.RiskyOperation(ServoProfile{}, 1); },
                     {"flush", "send6", "recv6"}},
        SequenceCase{"ResetAngle", [](ZNS& z) { return z.ResetAngle(ServoProfile{}, 1); },
                     {"flush", "send6", "recv6"}},
        SequenceCase{"ActionSendsOnly", [](ZNS& z) { return z.Action(); }, {"send6"}},
        SequenceCase{"UpgradeSendsOnly", [](ZNS& z) { return z.RequestUpgrade(1); },
                     {"send6"}},
        SequenceCase{"SyncSendsOnly",
                     [](ZNS& z) { return z.SyncWritePosition(ServoProfile{}, ids, 2, 0, 0, 0, 0); },
                     {"send24"}}),
    [](const testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.name); });

TEST(AwaitStatus, BroadcastAndSilentServosAreNotAwaited)
{
    ScriptedChannel ch;
    EXPECT_EQ(ch.AwaitStatus(ch.profile, 254).ok(), 1);
    ch.profile.statusLevel = 0;
    EXPECT_EQ(ch.AwaitStatus(ch.profile, 1).ok(), 1);
    EXPECT_EQ(ch.WritePosition(ch.profile, 1, 0, 0, 0, 0).ok(), 1);
    for (const auto& e : ch.events)
        EXPECT_EQ(e.rfind("recv", 0), std::string::npos) << e;
}

TEST(ReplyTimeout, EachScopeEndsWithTheTimeOutInForceBeforeIt)
{
    ScriptedChannel ch;
    ch.SetTimeoutMs(20);
    {
        ZNS::ReplyTimeout outer(ch, 200);
        {
            ZNS::ReplyTimeout inner(ch, 50);
            inner.Set(80);
            EXPECT_EQ(ch.inForceMs, 80);
        }
        EXPECT_EQ(ch.inForceMs, 200);  // the enclosing scope's, not the kept one
    }
    EXPECT_EQ(ch.inForceMs, 20);
}

TEST(AwaitStatus, NeedsAWholeWellFormedStatusPacket)
{
    ScriptedChannel shortReply;
    shortReply.Reply({0xFF, 0xFF, 1, 2, 0});
    EXPECT_EQ(shortReply.WriteByte(shortReply.profile, 1, 40, 1).ok(), 0);

    // Six bytes that are no status packet are a damaged answer, not a confirmation.
    ScriptedChannel garbage;
    garbage.Reply({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    EXPECT_EQ(garbage.WriteByte(garbage.profile, 1, 40, 1).outcome, Outcome::Damaged);
}

TEST(ReadExchange, NeedsTheWholeReplyWithItsChecksum)
{
    uint8_t data[9] = {};

    ScriptedChannel noChecksum;  // the reply stops after the data
    noChecksum.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(noChecksum.ReadMemory(1, 0, data, 9).count, 0);

    ScriptedChannel cutData;  // the data receive times out after 3 bytes
    cutData.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 0xAA});
    cutData.Limit({5, 3, 1});
    // Part of a reply is no answer, and none of it reaches the buffer.
    data[2] = 0x5A;
    EXPECT_EQ(cutData.ReadMemory(1, 0, data, 9).outcome, Outcome::NoAnswer);
    EXPECT_EQ(data[2], 0x5A);

    ScriptedChannel oneShort;  // the checksum fills the last data place
    oneShort.Reply({0xFF, 0xFF, 1, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0xCC});
    EXPECT_EQ(oneShort.ReadMemory(1, 0, data, 9).count, 0);

    ScriptedChannel headOnly;
    headOnly.Reply({0xFF, 0xFF, 1, 11});
    EXPECT_EQ(headOnly.ReadMemory(1, 0, data, 9).count, 0);

    ScriptedChannel whole;
    whole.Reply({0xFF, 0xFF, 1, 11, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0xC6});
    EXPECT_EQ(whole.ReadMemory(1, 0, data, 9).count, 9);
    EXPECT_EQ(data[0], 9);
    EXPECT_EQ(data[8], 1);
}

TEST(ReadExchange, PendingBytesAreDroppedBeforeRequestsButNotBeforeBroadcasts)
{
    ScriptedChannel ch;
    ch.pending = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    ch.Reply({0xFF, 0xFF, 1, 3, 0, 0x42, 0xB9});
    uint8_t value = 0;
    EXPECT_EQ(ch.ReadMemory(1, 5, &value, 1).count, 1);
    EXPECT_EQ(value, 0x42);

    ScriptedChannel w;
    w.pending = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(w.WriteByte(w.profile, 1, 5, 1).ok(), 0);  // the stale status packet is not taken for the reply

    ScriptedChannel a;
    a.pending = {1, 2, 3};
    a.Action();
    a.SyncWritePosition(a.profile, nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(a.pending.size(), 3u);
}

TEST(ReadExchange, AnOverlongReplyNeverWritesPastTheBuffer)
{
    ScriptedChannel ch;
    // A whole, good reply to the read, then far more bytes than were asked for.
    std::vector<uint8_t> reply(300, 0xAB);
    const uint8_t head[] = {0xFF, 0xFF, 1, 6, 0};
    std::copy(std::begin(head), std::end(head), reply.begin());
    reply[9] = 0x4C;
    ch.Reply(reply);
    uint8_t buffer[6] = {0, 0, 0, 0, 0x5A, 0x5A};
    EXPECT_EQ(ch.ReadMemory(1, 0, buffer, 4).count, 4);
    EXPECT_EQ(buffer[4], 0x5A);
    EXPECT_EQ(buffer[5], 0x5A);
}

TEST(ReadExchange, IsNotAffectedByStatusLevel)
{
    ScriptedChannel ch;
    ch.profile.statusLevel = 0;
    ch.Reply({0xFF, 0xFF, 1, 3, 0, 7, 0xF4});
    uint8_t v = 0;
    EXPECT_EQ(ch.ReadMemory(1, 0, &v, 1).count, 1);
}


// Every check a reply must pass: one damaged byte of a good reply is no answer, and nothing
// of it reaches the caller's buffer.
struct DamageCase {
    const char* name;
    bool status;  // a status packet, else a reply to a read of two bytes
    int index;    // the byte changed
    uint8_t value;
    Damage damage;
};

class Damaged : public testing::TestWithParam<DamageCase> {};

TEST_P(Damaged, IsNoAnswer)
{
    const auto& c = GetParam();
    std::vector<uint8_t> reply = c.status ? std::vector<uint8_t>{0xFF, 0xFF, 1, 2, 0, 0xFC}
                                          : std::vector<uint8_t>{0xFF, 0xFF, 1, 4, 0, 0x12, 0x34, 0xB4};
    reply[static_cast<size_t>(c.index)] = c.value;
    ScriptedChannel ch;
    ch.Reply(reply);
    uint8_t data[2] = {0xEE, 0xEE};
    const Reply r = c.status ? ch.WriteByte(ch.profile, 1, 40, 1) : ch.ReadMemory(1, 0, data, 2);
    EXPECT_EQ(r.outcome, Outcome::Damaged);
    EXPECT_EQ(r.damage, c.damage);
    EXPECT_EQ(data[0], 0xEE);
    EXPECT_EQ(data[1], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Damaged,
    testing::Values(DamageCase{"ReadHeader", false, 1, 0xFE, Damage::Header},
                    DamageCase{"ReadId", false, 2, 2, Damage::Id},
                    DamageCase{"ReadLength", false, 3, 5, Damage::Length},
                    DamageCase{"ReadDataByte", false, 5, 0x13, Damage::Checksum},
                    DamageCase{"ReadErrorByte", false, 4, 0x20, Damage::Checksum},
                    DamageCase{"ReadChecksum", false, 7, 0xB5, Damage::Checksum},
                    DamageCase{"StatusHeader", true, 0, 0x7F, Damage::Header},
                    DamageCase{"StatusId", true, 2, 3, Damage::Id},
                    DamageCase{"StatusLength", true, 3, 3, Damage::Length},
                    DamageCase{"StatusErrorByte", true, 4, 1, Damage::Checksum},
                    DamageCase{"StatusChecksum", true, 5, 0xFD, Damage::Checksum}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST(ReadExchange, AnErrorByteIsAnAnswerWithGoodData)
{
    ScriptedChannel ch;
    ch.Reply({0xFF, 0xFF, 1, 3, 0x20, 7, 0xD4});
    uint8_t v = 0;
    const Reply r = ch.ReadMemory(1, 0, &v, 1);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.error, 0x20);
    EXPECT_EQ(v, 7);
}

}  // namespace
