// The traffic record over a real pseudo-terminal: each instruction and each kind of reply as
// the tap sees it and as it is decoded, and the log's bound.
#include "PtyPair.h"
#include "bus/TrafficLog.h"
#include "protocol/PacketDecode.h"
#include "protocol/ZNS.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using Bytes = std::vector<uint8_t>;

namespace {

struct Case {
    const char* name;
    std::function<Reply(ZNS&)> exchange;
    size_t requestSize;
    Bytes answer;  // what the far end sends after the request (empty: nothing)
    std::vector<std::string> lines;  // the decodings, in order
};

const ServoProfile kProfile{};
const uint8_t kIds[] = {1, 2, 3};
const uint8_t kData[] = {0x10, 0x20};

TEST(Traffic, EachInstructionAndReplyDecodes)
{
    const Case cases[] = {
        {"read, good", [](ZNS& s) { uint8_t d[2]; return s.ReadMemory(1, 56, d, 2); }, 8,
         {0xFF, 0xFF, 1, 4, 0, 0xD0, 0x07, 0x23},
         {"ID 1 READ addr 56 count 2", "ID 1 reply good error 0x00 data D0 07"}},
        {"write, status with error", [](ZNS& s) { return s.WriteMemory(kProfile, 1, 40, kData, 2); }, 9,
         {0xFF, 0xFF, 1, 2, 0x20, 0xDC},
         {"ID 1 WRITE addr 40 data 10 20", "ID 1 status good error 0x20"}},
        {"reg write, short", [](ZNS& s) { return s.RegWriteMemory(kProfile, 2, 41, kData, 1); }, 8,
         {0xFF, 0xFF, 2},
         {"ID 2 REG_WRITE addr 41 data 10", "ID 2 short (3 bytes)"}},
        {"restore, damaged", [](ZNS& s) { return s.RestoreParameters(kProfile, 3); }, 6,
         {0xFF, 0xFF, 3, 2, 0, 0x00},
         {"ID 3 RESTORE", "ID 3 damaged (checksum)"}},
        {"risky, late", [](ZNS& s) { return s.RiskyOperation(kProfile, 3); }, 6,
         {0xFF, 0xFF, 4, 2, 0, 0xF9},
         {"ID 3 RISKY", "ID 4 late (another ID's answer)"}},
        {"reset angle, none", [](ZNS& s) { return s.ResetAngle(kProfile, 5); }, 6, {},
         {"ID 5 RESET_ANGLE", "no answer"}},
        {"action", [](ZNS& s) { return s.Action(); }, 6, {}, {"ID 254 ACTION"}},
        {"upgrade", [](ZNS& s) { return s.RequestUpgrade(7); }, 6, {}, {"ID 7 UPGRADE"}},
        {"sync write", [](ZNS& s) { return s.SyncWritePosition(kProfile, kIds, 3, 100, 0, 0, 0); },
         8 + 3 * 8, {}, {"ID 254 SYNC_WRITE addr 41 length 7 servos 1 2 3"}},
    };
    PtyPair pty;
    CZNComm comm;
    ASSERT_EQ(comm.Open(pty.path), 1);
    comm.SetTimeoutMs(50);
    ZNS servo(comm);
    TrafficLog log;
    servo.SetTap(&log);
    uint64_t next = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::thread far([&] {
            pty.Receive(c.requestSize);
            if (!c.answer.empty())
                pty.Send(c.answer);
        });
        c.exchange(servo);
        far.join();
        const TrafficLog::Batch b = log.Since(next, 100);
        next = b.next;
        std::vector<std::string> lines;
        for (const auto& r : b.records)
            lines.push_back(DecodePacket(r.View()));
        EXPECT_EQ(lines, c.lines);
        // What came in is kept byte for byte, whatever its verdict.
        if (b.records.size() == 2) {
            EXPECT_EQ(b.records[1].bytes, c.answer);
        }
    }
    servo.SetTap(nullptr);
    uint8_t d[2];
    std::thread far([&] { pty.Receive(8); });
    servo.ReadMemory(1, 56, d, 2);
    far.join();
    EXPECT_TRUE(log.Since(next, 100).records.empty()) << "an untapped exchange was recorded";
}

TEST(Traffic, KeepsTheNewestAndCountsWhatWent)
{
    TrafficLog log(3);
    for (uint8_t i = 0; i < 5; ++i) {
        const uint8_t b = i;
        log.Packet(PacketView{PacketDirection::Out, Verdict::Sent, Damage::None, LoaderStep::None,
                              LoaderStep::None, 0, &b, 1});
    }
    EXPECT_EQ(log.Dropped(), 2u);
    const TrafficLog::Batch b = log.Since(0, 100);  // a reader behind the bound
    ASSERT_EQ(b.records.size(), 3u);
    EXPECT_EQ(b.records.front().seq, 2u);
    EXPECT_EQ(b.records.back().bytes, Bytes{4});
    EXPECT_EQ(b.next, 5u);
    EXPECT_TRUE(log.Since(b.next, 100).records.empty());
}

TEST(Traffic, LoaderStepsSayWhatTheyAre)
{
    const uint8_t ack = 0x06, nak = 0x15, block[3] = {1, 2, 3};
    const PacketView views[] = {
        {PacketDirection::Out, Verdict::Sent, Damage::None, LoaderStep::Unlock, LoaderStep::None, 0, block, 3},
        {PacketDirection::In, Verdict::Good, Damage::None, LoaderStep::Answer, LoaderStep::Unlock, 0, &ack, 1},
        {PacketDirection::Out, Verdict::Sent, Damage::None, LoaderStep::Block, LoaderStep::None, 12, block, 3},
        {PacketDirection::In, Verdict::Good, Damage::None, LoaderStep::Answer, LoaderStep::Block, 12, &nak, 1},
        {PacketDirection::In, Verdict::NoAnswer, Damage::None, LoaderStep::Answer, LoaderStep::Start, 0, &ack, 0},
    };
    const char* lines[] = {"loader unlock", "loader answer ACK to unlock", "loader block 12",
                           "loader answer NAK to block 12", "loader answer none to start"};
    for (size_t i = 0; i < std::size(views); ++i)
        EXPECT_EQ(DecodePacket(views[i]), lines[i]);
}

}  // namespace
