// The virtual bus answers as servos would, through the real serial port on its device.
#include "BusFixture.h"
#include "servo/LoaderFrames.h"

#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;

class Bus : public BusFixture {};

TEST_F(Bus, AnswersOnlyAtEachServosRate)
{
    AddServo(1, kKestrel);
    AddServo(2, kHeron);
    AddServo(7, kOsprey, 0);  // 1000000 baud
    StartBus(115200);
    comm.OverrideTimeout(30);
    auto found = [&] {
        std::vector<int> ids;
        for (int id = 0; id <= 10; ++id) {
            uint8_t key[9];
            if (servo.ReadMemory(static_cast<uint8_t>(id), 0, key, 9).count == 9)
                ids.push_back(id);
        }
        return ids;
    };
    EXPECT_EQ(found(), (std::vector<int>{1, 2}));
    comm.SetTimeoutMs(30);
    comm.SetBaudRate(1000000);
    EXPECT_EQ(found(), (std::vector<int>{7}));
    comm.SetBaudRate(250000);
    EXPECT_TRUE(found().empty());
}

TEST_F(Bus, ServosStartWithTheirFamilysFactoryMemory)
{
    AddServo(1, kKestrel);
    AddServo(2, kHeron);
    StartBus();
    uint8_t key[9];
    ASSERT_EQ(servo.ReadMemory(1, 0, key, 9).count, 9);
    EXPECT_EQ(Bytes(key, key + 9), (Bytes{5, 3, 0, 12, 1, 1, 4, 0, 1}));
    ASSERT_EQ(servo.ReadMemory(2, 0, key, 9).count, 9);
    EXPECT_EQ(Bytes(key, key + 9), (Bytes{7, 2, 1, 25, 0, 2, 4, 0, 0}));
    uint8_t limit[2];
    ASSERT_EQ(servo.ReadMemory(2, 11, limit, 2).count, 2);  // 1023, high byte first
    EXPECT_EQ(Bytes(limit, limit + 2), (Bytes{0x03, 0xFF}));
}

TEST_F(Bus, WritesAnswerByStatusLevelAndBroadcastsNever)
{
    AddServo(1, kKestrel);
    AddServo(2, kHeron);  // factory status level 0
    StartBus();
    EXPECT_EQ(servo.WriteByte(profile, 1, 7, 3).ok(), 1);
    profile.statusLevel = 1;
    EXPECT_EQ(servo.WriteByte(profile, 2, 7, 3).ok(), 0);  // it answers no writes
    EXPECT_EQ(MemoryOf(2)[7], 3);
    EXPECT_EQ(servo.WriteByte(profile, 254, 13, 60).ok(), 1);
    Settle();
    EXPECT_EQ(MemoryOf(1)[13], 60);
    EXPECT_EQ(MemoryOf(2)[13], 60);
    EXPECT_FALSE(Logged("< FF FF FE 02 00 FF"));

    // A write of the status level is answered by its new value.
    EXPECT_EQ(servo.WriteByte(profile, 2, 8, 1).ok(), 1);
    EXPECT_EQ(servo.WriteByte(profile, 1, 8, 0).ok(), 0);
    EXPECT_EQ(MemoryOf(1)[8], 0);
}

TEST_F(Bus, NewIdAndRateTakeEffectAfterTheReply)
{
    AddServo(1, kKestrel);
    StartBus();
    EXPECT_EQ(servo.WriteByte(profile, 1, 5, 9).ok(), 1);
    EXPECT_TRUE(Logged("< FF FF 01 02 00 FC"));
    uint8_t b;
    EXPECT_EQ(servo.ReadMemory(1, 5, &b, 1).count, 0);
    EXPECT_EQ(servo.ReadMemory(9, 5, &b, 1).count, 1);

    EXPECT_EQ(servo.WriteByte(profile, 9, 6, 0).ok(), 1);  // answered at 115200
    EXPECT_EQ(servo.ReadMemory(9, 5, &b, 1).count, 0);
    comm.SetBaudRate(1000000);
    EXPECT_EQ(servo.ReadMemory(9, 5, &b, 1).count, 1);
}

TEST_F(Bus, RegisteredWritesWaitForTheAction)
{
    AddServo(1, kKestrel);
    AddServo(3, kOsprey);
    StartBus();
    const auto before = MemoryOf(1);
    EXPECT_EQ(servo.RegWritePosition(profile, 1, 1000, 0, 0, 0).ok(), 1);
    EXPECT_EQ(servo.RegWritePosition(profile, 3, 1000, 0, 0, 0).ok(), 1);
    Settle();
    NextStep();  // the feedback shows the flag from the next step
    EXPECT_EQ(MemoryOf(1)[42], before[42]);
    EXPECT_EQ(MemoryOf(1)[56 + 8], 1);  // registered-write flag
    EXPECT_EQ(servo.Action().ok(), 1);
    Settle();
    EXPECT_EQ(MemoryOf(1)[42], 1000 & 0xFF);
    EXPECT_EQ(MemoryOf(3)[43], 1000 >> 8);
}

TEST_F(Bus, SyncWriteReachesEveryListedServo)
{
    AddServo(1, kKestrel);
    AddServo(2, kKestrel);
    AddServo(3, kKestrel);
    StartBus();
    const uint8_t ids[] = {1, 3};
    EXPECT_EQ(servo.SyncWritePosition(profile, ids, 2, -100, 10, 500, 0).ok(), 1);
    Settle();
    EXPECT_EQ(MemoryOf(1)[43], 0x80);
    EXPECT_EQ(MemoryOf(3)[42], 0x64);
    EXPECT_NE(MemoryOf(2)[43], 0x80);
    EXPECT_TRUE(Logged("> FF FF FE 14 83 29 07 01 0A 64 80 00 00 F4 01 03 0A 64 80 00 00 F4 01 70"));
}

TEST_F(Bus, RestoreResetAndRiskyAreAnswered)
{
    AddServo(5, kKestrel, 4);
    StartBus();
    EXPECT_EQ(servo.WriteByte(profile, 5, 13, 99).ok(), 1);
    EXPECT_EQ(servo.RiskyOperation(profile, 5).ok(), 1);
    EXPECT_EQ(servo.ResetAngle(profile, 5).ok(), 1);
    EXPECT_EQ(servo.RestoreParameters(profile, 5).ok(), 1);
    const auto m = MemoryOf(1);  // restored servos take ID 1
    EXPECT_EQ(m[13], 70);
    EXPECT_EQ(m[6], 4);
}

TEST_F(Bus, BadChecksumGetsNoAnswer)
{
    AddServo(1, kKestrel);
    StartBus();
    const Bytes bad = {0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEE};
    comm.Write(bad.data(), static_cast<int>(bad.size()));
    uint8_t reply[16];
    EXPECT_EQ(comm.Read(reply, 16), 0);
    EXPECT_TRUE(Logged("> FF FF 01 04 02 00 09 EE (bad checksum)"));
}

TEST_F(Bus, MotionFollowsTorqueAndFaultsShow)
{
    AddServo(1, kKestrel);
    StartBus();
    bus->SetFaultBits(1, 0x24);
    EXPECT_EQ(servo.WritePosition(profile, 1, 2300, 0, 2000, 0).ok(), 1);
    // Thirty steps of the servos' motion, time for a servo with torque on to move.
    const long long steps = bus->Steps();
    WaitFor([&] { return bus->Steps() >= steps + 30; }, "thirty steps");
    uint8_t fb[17];
    ASSERT_EQ(servo.ReadMemory(1, 56, fb, 17).count, 17);
    EXPECT_EQ(fb[0] | fb[1] << 8, 2047);  // torque is off: it doesn't move
    EXPECT_EQ(fb[9], 0x24);
    EXPECT_GT(fb[6], 50);  // some volts

    EXPECT_EQ(servo.WriteByte(profile, 1, 40, 1).ok(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int position = 0;
    bool sawMotion = false;
    while (std::chrono::steady_clock::now() < deadline && position != 2300) {
        ASSERT_EQ(servo.ReadMemory(1, 56, fb, 17).count, 17);
        position = fb[0] | fb[1] << 8;
        sawMotion = sawMotion || fb[10] == 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(position, 2300);
    EXPECT_TRUE(sawMotion);
    EXPECT_EQ(fb[11] | fb[12] << 8, 2300);  // target feedback
}

TEST_F(Bus, DroppedAndDelayedRepliesEndInTheTimeout)
{
    AddServo(1, kKestrel);
    StartBus();
    uint8_t key[9];
    bus->SetDropShare(1.0);
    EXPECT_EQ(servo.ReadMemory(1, 0, key, 9).count, 0);
    bus->SetDropShare(0);
    bus->SetReplyDelayMs(300);
    EXPECT_EQ(servo.ReadMemory(1, 0, key, 9).count, 0);
    bus->SetReplyDelayMs(0);
    Settle();  // the late answer is gone
    bus->SetPacing(true, 100);
    EXPECT_EQ(servo.ReadMemory(1, 0, key, 9).count, 9);
}

struct LoaderLine : BusFixture {
    int Exchange(const uint8_t* bytes, int n)
    {
        comm.Write(bytes, n);
        uint8_t answer;
        return comm.Read(&answer, 1) == 1 ? answer : -1;
    }
    void EnterLoader()
    {
        AddServo(1, kKestrel);
        StartBus();
        EXPECT_TRUE(servo.RequestUpgrade(1).ok());
        // As the upgrade does: let the instruction leave before the rate change purges.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        comm.SetTimeoutMs(500);
        comm.SetBaudRate(kLoaderBaudRate);
    }
};

TEST_F(LoaderLine, TakesUnlockStartAndBlocks)
{
    const std::string imageFile = catalogueFile + ".bin";
    bus->SetImageFile(imageFile);
    EnterLoader();
    EXPECT_EQ(Exchange(LoaderUnlock.data(), 5), kLoaderAck);
    const uint8_t start = kLoaderStart;
    EXPECT_EQ(Exchange(&start, 1), kLoaderAck);
    EXPECT_TRUE(Logged("> 7E 5A A5 3C C3 (loader)"));
    EXPECT_TRUE(Logged("> 01 (loader)"));
    EXPECT_TRUE(Logged("< 06"));

    Bytes image(150);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7);
    const Crc16 crc = LoaderCrc();
    bus->RefuseNextBlocks(1);
    for (int i = 1; i <= 3; ++i) {
        auto block = BuildUpgradeBlock(image.data(), image.size(), i, 3, 1, crc);
        if (i == 2) {
            auto broken = block;
            broken[10] ^= 1;
            EXPECT_EQ(Exchange(broken.data(), kUpgradeBlockSize), kLoaderRefuse);
        }
        int answer = Exchange(block.data(), kUpgradeBlockSize);
        if (i == 1) {
            EXPECT_EQ(answer, kLoaderRefuse);  // refused on demand
            answer = Exchange(block.data(), kUpgradeBlockSize);
        }
        EXPECT_EQ(answer, kLoaderAck) << "block " << i;
    }
    EXPECT_TRUE(bus->LoaderComplete());
    EXPECT_EQ(bus->LoaderBlocksAccepted(), 3);
    EXPECT_EQ(bus->LoaderBlocksRefused(), 2);
    Bytes expected = image;
    expected.resize(192, 0xFF);
    EXPECT_EQ(bus->LoaderImage(), expected);
    std::ifstream in(imageFile, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), expected);
    std::filesystem::remove(imageFile);
}

TEST_F(LoaderLine, AWrongUnlockOrRateGetsNoAnswer)
{
    EnterLoader();
    const uint8_t wrong[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(Exchange(wrong, 5), -1);
    comm.SetBaudRate(115200);
    EXPECT_EQ(Exchange(LoaderUnlock.data(), 5), -1);
    comm.SetBaudRate(kLoaderBaudRate);
    EXPECT_EQ(Exchange(LoaderUnlock.data(), 5), kLoaderAck);
}

}  // namespace
