// ZNS over a real pseudo-terminal: packets arrive whole and exact, replies are read back.
#include "PtyPair.h"
#include "protocol/ZNS.h"

#include <gtest/gtest.h>

#include <thread>

using Bytes = std::vector<uint8_t>;

namespace {

struct Line {
    PtyPair pty;
    CZNComm comm;
    ZNS servo{comm};
    Line()
    {
        EXPECT_EQ(comm.Open(pty.path), 1);
        comm.SetBaudRate(115200);
    }
};

TEST(ProtocolOnPty, ReadsMemoryExactly)
{
    Line line;
    line.pty.Send({0xAA, 0xBB});  // stale bytes from before the request
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::thread far([&] {
        EXPECT_EQ(line.pty.Receive(8), (Bytes{0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF}));
        line.pty.Send({0xFF, 0xFF, 1, 11, 0, 5, 3, 0, 12, 1, 1, 4, 0, 1, 0xD8});
    });
    uint8_t key[9] = {};
    EXPECT_EQ(line.servo.ReadMemory(1, 0, key, 9).count, 9);
    far.join();
    EXPECT_EQ(Bytes(key, key + 9), (Bytes{5, 3, 0, 12, 1, 1, 4, 0, 1}));
}

TEST(ProtocolOnPty, SendsWholePacketsAndAwaitsStatus)
{
    Line line;
    std::thread far([&] {
        EXPECT_EQ(line.pty.Receive(9), (Bytes{0xFF, 0xFF, 0x01, 0x05, 0x03, 0x2A, 0x00, 0x08, 0xC4}));
        line.pty.Send({0xFF, 0xFF, 1, 2, 0, 0xFC});
    });
    EXPECT_TRUE(line.servo.WriteWord(ServoProfile{}, 1, 42, 2048).ok());
    far.join();
    EXPECT_EQ(line.servo.WriteByte(ServoProfile{}, 1, 40, 1).outcome,
              Outcome::NoAnswer);  // nobody answers this one

    const uint8_t ids[] = {1, 2};
    const uint8_t one = 1;
    line.pty.Receive(64, 50);
    EXPECT_EQ(line.servo.SendSyncPacket(ids, 2, 40, &one, 1), 1);
    EXPECT_EQ(line.pty.Receive(12),
              (Bytes{0xFF, 0xFF, 0xFE, 0x08, 0x83, 0x28, 0x01, 0x01, 0x01, 0x02, 0x01, 0x48}));
}

TEST(ProtocolOnPty, ClosedPortSendsNothingAndSaysSo)
{
    CZNComm comm;
    ZNS servo(comm);
    ServoProfile profile;
    uint8_t b[4];
    // Every exchange on a closed port says so, broadcasts and silent servos included: none
    // passes for done.
    EXPECT_EQ(servo.ReadMemory(1, 0, b, 4).outcome, Outcome::PortClosed);
    EXPECT_EQ(servo.Action().outcome, Outcome::PortClosed);
    EXPECT_EQ(servo.WriteByte(profile, 1, 40, 1).outcome, Outcome::PortClosed);
    EXPECT_EQ(servo.WriteByte(profile, 254, 40, 1).outcome, Outcome::PortClosed);
    profile.statusLevel = 0;
    EXPECT_EQ(servo.WriteByte(profile, 1, 40, 1).outcome, Outcome::PortClosed);
}

}  // namespace
