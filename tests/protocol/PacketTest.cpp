// Exact bytes on the wire for each instruction, in both byte orders.
#include "ScriptedChannel.h"

#include <gtest/gtest.h>

#include <functional>

using Bytes = std::vector<uint8_t>;

namespace {

struct WireCase {
    const char* name;
    uint8_t byteOrder;
    std::function<void(ScriptedChannel&)> call;
    Bytes expected;
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class Wire : public testing::TestWithParam<WireCase> {};

TEST_P(Wire, SendsExactlyTheseBytes)
{
    const auto& c = GetParam();
    ScriptedChannel ch;
    ch.profile.byteOrder = c.byteOrder;
    c.call(ch);
    EXPECT_EQ(ch.sent, c.expected);
}

const uint8_t ids12[] = {1, 2};
const uint8_t one = 1;

INSTANTIATE_TEST_SUITE_P(
    Packets, Wire,
    testing::Values(
        WireCase{"Action", 0, [](ScriptedChannel& z) { z.Action(); }, {0xFF, 0xFF, 0xFE, 0x02, 0x05, 0xFA}},
        WireCase{"Read9FromServo1", 0,
                 [](ScriptedChannel& z) { uint8_t b[9]; z.ReadMemory(1, 0, b, 9); },
                 {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF}},
        WireCase{"WritePositionNegative", 0, [](ScriptedChannel& z) { z.WritePosition(z.profile, 1, -100, 10, 500, 0); },
                 {0xFF, 0xFF, 0x01, 0x0A, 0x03, 0x29, 0x0A, 0x64, 0x80, 0x00, 0x00, 0xF4, 0x01,
                  0xE5}},
        WireCase{"WriteWordLowFirst", 0, [](ScriptedChannel& z) { z.WriteWord(z.profile, 1, 42, 2048); },
                 {0xFF, 0xFF, 0x01, 0x05, 0x03, 0x2A, 0x00, 0x08, 0xC4}},
        WireCase{"WriteWordHighFirst", 1, [](ScriptedChannel& z) { z.WriteWord(z.profile, 1, 42, 2048); },
                 {0xFF, 0xFF, 0x01, 0x05, 0x03, 0x2A, 0x08, 0x00, 0xC4}},
        WireCase{"Restore", 0, [](ScriptedChannel& z) { z.RestoreParameters(z.profile, 1); },
                 {0xFF, 0xFF, 0x01, 0x02, 0x06, 0xF6}},
        WireCase{"Risky", 0, [](ScriptedChannel& z) { z.RiskyOperation(z.profile, 1); },
                 {0xFF, 0xFF, 0x01, 0x02, 0x09, 0xF3}},
        WireCase{"ResetAngle", 0, [](ScriptedChannel& z) { z.ResetAngle(z.profile, 1); },
                 {0xFF, 0xFF, 0x01, 0x02, 0x0A, 0xF2}},
        WireCase{"Upgrade", 0, [](ScriptedChannel& z) { z.RequestUpgrade(3); },
                 {0xFF, 0xFF, 0x03, 0x02, 0x08, 0xF2}},
        WireCase{"SyncOneByteToTwo", 0,
                 [](ScriptedChannel& z) { z.SendSyncPacket(ids12, 2, 40, &one, 1); },
                 {0xFF, 0xFF, 0xFE, 0x08, 0x83, 0x28, 0x01, 0x01, 0x01, 0x02, 0x01, 0x48}},
        WireCase{"SyncPositionToNobody", 0,
                 [](ScriptedChannel& z) { z.SyncWritePosition(z.profile, nullptr, 0, 0, 0, 0, 0); },
                 {0xFF, 0xFF, 0xFE, 0x04, 0x83, 0x29, 0x07, 0x4A}},
        WireCase{"PositionMinus32768KeepsItsBits", 0,
                 [](ScriptedChannel& z) { z.WritePosition(z.profile, 1, 0x8000, 0, 0, 0); },
                 {0xFF, 0xFF, 0x01, 0x0A, 0x03, 0x29, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00,
                  0x48}},
        WireCase{"PositionHighFirst", 1, [](ScriptedChannel& z) { z.WritePosition(z.profile, 1, 0x0123, 0x1FF, 0x0506, 0x0304); },
                 {0xFF, 0xFF, 0x01, 0x0A, 0x03, 0x29, 0xFF, 0x01, 0x23, 0x03, 0x04, 0x05, 0x06,
                  0x93}},
        WireCase{"WriteByteToAll", 0, [](ScriptedChannel& z) { z.WriteByte(z.profile, 254, 40, 1); },
                 {0xFF, 0xFF, 0xFE, 0x04, 0x03, 0x28, 0x01, 0xD1}}),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

// Header, data and checksum leave together in one write, so the far end sees the packet whole.
TEST(Packet, LeavesAsHeaderDataAndChecksum)
{
    ScriptedChannel ch;
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(ch.SendPacket(7, 20, data, 3, 3), 1);
    EXPECT_EQ(ch.events, (std::vector<std::string>{"send10"}));
    EXPECT_EQ(ch.sent, (Bytes{0xFF, 0xFF, 7, 6, 3, 20, 1, 2, 3, 0xD5}));
    ScriptedChannel bare;
    EXPECT_EQ(bare.SendPacket(7, 0, nullptr, 0, 5), 1);
    EXPECT_EQ(bare.events, (std::vector<std::string>{"send6"}));
    EXPECT_EQ(bare.sent, (Bytes{0xFF, 0xFF, 7, 2, 5, 0xF1}));
}

TEST(Packet, ResultIsTheChecksumWrite)
{
    ScriptedChannel ch;
    ch.sendResult = false;
    EXPECT_EQ(ch.Action().ok(), 0);
    EXPECT_EQ(ch.RequestUpgrade(1).ok(), 0);
}

TEST(Packet, BlocksTooLongForTheLengthByteAreNotSent)
{
    ScriptedChannel ch;
    ch.profile.statusLevel = 0;
    std::vector<uint8_t> data(253, 0);
    EXPECT_EQ(ch.WriteMemory(ch.profile, 1, 0, data.data(), 253).ok(), 0);
    EXPECT_EQ(ch.SendPacket(1, 0, data.data(), 253, instr::kWrite), 0);
    EXPECT_TRUE(ch.sent.empty());
    EXPECT_EQ(ch.WriteMemory(ch.profile, 1, 0, data.data(), 252).ok(), 1);
    EXPECT_EQ(ch.sent[3], 255);

    // 36 groups of an 6-byte block: (6 + 1) * 36 + 4 = 256 no longer fits.
    ScriptedChannel sync;
    std::vector<uint8_t> ids(36, 1);
    EXPECT_EQ(sync.SendSyncPacket(ids.data(), 36, 0, data.data(), 6), 0);
    EXPECT_EQ(sync.SendSyncPacket(ids.data(), -1, 0, data.data(), 6), 0);
    EXPECT_TRUE(sync.sent.empty());
    EXPECT_EQ(sync.SendSyncPacket(ids.data(), 35, 0, data.data(), 6), 1);
    EXPECT_EQ(sync.sent[3], 249);
}

TEST(Packet, SyncChecksumCoversEveryGroup)
{
    ScriptedChannel ch;
    const uint8_t ids[] = {1, 2, 3};
    ch.SyncWritePosition(ch.profile, ids, 3, -100, 10, 500, 0);
    ASSERT_EQ(ch.sent.size(), 7u + 3 * 8 + 1);
    unsigned sum = 0;
    for (size_t i = 2; i + 1 < ch.sent.size(); ++i)
        sum += ch.sent[i];
    EXPECT_EQ(ch.sent.back(), static_cast<uint8_t>(~sum));
    EXPECT_EQ(ch.sent[3], 8 * 3 + 4);
    // Every group carries the same block after its ID.
    for (int g = 0; g < 3; ++g)
        EXPECT_EQ(Bytes(ch.sent.begin() + 7 + g * 8 + 1, ch.sent.begin() + 7 + g * 8 + 8),
                  (Bytes{0x0A, 0x64, 0x80, 0x00, 0x00, 0xF4, 0x01}));
}

TEST(SignMagnitude, EncodesAndDecodesPerSignBit)
{
    EXPECT_EQ(EncodeSignMagnitude(-100, 15), 0x8064);
    EXPECT_EQ(EncodeSignMagnitude(-100, 10), 0x0464);
    EXPECT_EQ(EncodeSignMagnitude(100, 15), 0x0064);
    EXPECT_EQ(EncodeSignMagnitude(-5, -1), 0xFFFB);
    EXPECT_EQ(DecodeSignMagnitude(0x8064, 15), -100);
    EXPECT_EQ(DecodeSignMagnitude(0x0464, 10), -100);
    EXPECT_EQ(DecodeSignMagnitude(0x0064, 10), 100);
    EXPECT_EQ(DecodeSignMagnitude(0x0864, 11), -100);
    EXPECT_EQ(DecodeSignMagnitude(0xFFFF, -1), -1);
}

TEST(Words, FollowTheByteOrder)
{
    ScriptedChannel ch;
    EXPECT_EQ(ch.WordToBytes(ch.profile, 0x1234), (std::array<uint8_t, 2>{0x34, 0x12}));
    EXPECT_EQ(ch.WordToBytes(ch.profile, 0x71234), (std::array<uint8_t, 2>{0x34, 0x12}));
    ch.profile.byteOrder = 1;
    EXPECT_EQ(ch.WordToBytes(ch.profile, 0x1234), (std::array<uint8_t, 2>{0x12, 0x34}));
}

}  // namespace
