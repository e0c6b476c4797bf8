// The motion player on six virtual servos: one sync write a tick from where the servos stand,
// a stop that holds or releases, a silent servo named, nothing moved for an absent one, and
// positions clamped to the angle limits.
#include "BusFixture.h"
#include "WaitFor.h"
#include "bus/ServoBus.h"
#include "servo/MotionPlayer.h"

#include <sstream>

namespace {

// Six servos, each started somewhere else, and a motion of three keyframes.
class MotionBus : public BusFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        for (int id = 1; id <= 6; ++id)
            AddServo(id, kKestrel);
        bus->SetMotion(SimMotion::Plain);
        StartBus();
        for (uint8_t id = 1; id <= 6; ++id) {
            ASSERT_TRUE(servo.WriteByte(profile, id, kTorque, 1));
            ASSERT_TRUE(servo.WritePosition(profile, id, Start(id), 0, 0, 0));
        }
        for (uint8_t id = 1; id <= 6; ++id) {
            WaitFor([&] { return Position(id) == Start(id); }, "the servo to reach its start");
            ASSERT_TRUE(servo.WriteByte(profile, id, kTorque, 0));
        }
        motion.keyframes.resize(3);
        for (uint8_t id = 1; id <= 6; ++id) {
            motion.keyframes[0].pose[id] = 1500 + 10 * id;
            motion.keyframes[1].pose[id] = 2500 - 30 * id;
            motion.keyframes[2].pose[id] = 2000;
        }
        motion.keyframes[0].timeMs = 200;
        motion.keyframes[1].timeMs = 300;
        motion.keyframes[1].holdMs = 100;
        motion.keyframes[2].timeMs = 200;
    }
    static int Start(uint8_t id) { return 1400 + 20 * id; }
    int Position(uint8_t id) const
    {
        const ServoMemory m = MemoryOf(id);
        return m[56] | m[57] << 8;
    }
    MotionStart Prepare()
    {
        return jobs.Run(JobKind::Command, [&](BusAccess& access) { return PrepareMotion(access.protocol, *catalogue, motion, {}); });
    }
    // The packets the servos heard, as bytes.
    std::vector<std::vector<uint8_t>> Heard() const
    {
        std::vector<std::vector<uint8_t>> packets;
        for (const std::string& line : Sent()) {
            std::istringstream in(line);
            std::vector<uint8_t> bytes;
            for (unsigned b = 0; in >> std::hex >> b;)
                bytes.push_back(static_cast<uint8_t>(b));
            packets.push_back(bytes);
        }
        return packets;
    }
    void PlayUntil(MotionPlayer& player, const PlayOptions& options, long long ticks)
    {
        const MotionStart start = Prepare();
        ASSERT_TRUE(start.ok());
        bus->ClearLog();
        player.Play(start, options);
        ASSERT_TRUE(::WaitFor([&] { return player.Status().ticks >= ticks || !player.Running(); }));
    }

    static constexpr int kTorque = 40;
    Motion motion;
    ServoBus jobs{comm};
};

TEST_F(MotionBus, PlaysOneSyncWriteATickFromWhereTheServosStand)
{
    MotionPlayer player(jobs);
    PlayUntil(player, {}, 1000000);
    ASSERT_TRUE(::WaitFor([&] { return !player.Running(); }));
    const MotionStatus status = player.Status();
    ASSERT_EQ(status.end, MotionEnd::Done);
    Settle();
    const auto packets = Heard();
    long long syncs = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        const auto& p = packets[i];
        ASSERT_GE(p.size(), 7u);
        if (p[4] != 0x83) {
            EXPECT_EQ(p[4], 2) << "a tick's one read";
            continue;
        }
        ++syncs;
        // Each tick one packet: never two sync writes without the tick's read between them.
        EXPECT_TRUE(i + 1 == packets.size() || packets[i + 1][4] == 2);
        const bool first = syncs == 1;
        EXPECT_EQ(p[5], first ? kTorque : kTorque + 1);  // the first switches the torque on too
        ASSERT_EQ(p[6], first ? 8 : 7);
        ASSERT_EQ(p.size(), 8u + 6u * (p[6] + 1u));
        for (int g = 0; g < 6; ++g) {
            const uint8_t* group = &p[7 + g * (p[6] + 1)];
            EXPECT_EQ(group[0], g + 1);
            if (first) {
                EXPECT_EQ(group[1], 1);
                EXPECT_EQ(group[3] | group[4] << 8, Start(group[0])) << "the ease-in starts where it stands";
            }
        }
    }
    EXPECT_EQ(syncs, status.ticks);
    for (uint8_t id = 1; id <= 6; ++id) {
        WaitFor([&] { return Position(id) == 2000; }, "the servo to follow to the last keyframe");
        EXPECT_EQ(MemoryOf(id)[kTorque], 1);
    }
}

TEST_F(MotionBus, AStopHoldsOrReleases)
{
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release);
        MotionPlayer player(jobs);
        PlayUntil(player, {0, 1.0, 50, release}, 10);
        player.Stop();
        ASSERT_TRUE(::WaitFor([&] { return !player.Running(); }));
        EXPECT_EQ(player.Status().end, MotionEnd::Stopped);
        EXPECT_EQ(player.Status().released, release);
        jobs.Run(JobKind::Command, [](BusAccess&) {});
        Settle();
        const auto last = Heard().back();
        EXPECT_EQ(last[4], release ? 0x83 : 2);  // nothing after the stop but the torque off
        for (uint8_t id = 1; id <= 6; ++id)
            EXPECT_EQ(MemoryOf(id)[kTorque], release ? 0 : 1);
    }
}

TEST_F(MotionBus, ASilentServoStopsTheMotionHoldingAndIsNamed)
{
    MotionPlayer player(jobs);
    PlayUntil(player, {0, 1.0, 50, true}, 5);
    bus->SetMemory(4, addr::kId, 99);  // servo 4 answers to another ID from now on
    ASSERT_TRUE(::WaitFor([&] { return !player.Running(); }));
    EXPECT_EQ(player.Status().end, MotionEnd::Silent);
    EXPECT_EQ(player.Status().silentId, 4);
    for (uint8_t id : {1, 2, 3, 5, 6})
        EXPECT_EQ(MemoryOf(id)[kTorque], 1);
}

TEST_F(MotionBus, AnIdWithNoServoMovesNothing)
{
    for (Keyframe& kf : motion.keyframes)
        kf.pose[9] = 2000;
    bus->ClearLog();
    const MotionStart start = Prepare();
    EXPECT_EQ(start.problem, MotionStart::Problem::NoAnswer);
    EXPECT_EQ(start.id, 9);
    Settle();
    for (const auto& p : Heard())
        EXPECT_EQ(p[4], 2) << "only reads";
}

TEST_F(MotionBus, PositionsOutsideTheAngleLimitsAreClamped)
{
    ASSERT_TRUE(servo.WriteWord(profile, 2, 11, 2400));  // servo 2's largest angle
    motion.keyframes[1].pose[2] = 2900;
    const MotionStart start = Prepare();
    ASSERT_TRUE(start.ok());
    ASSERT_EQ(start.clamps.size(), 1u);
    EXPECT_EQ(start.clamps[0].keyframe, 1);
    EXPECT_EQ(start.clamps[0].id, 2);
    EXPECT_EQ(start.clamps[0].sent, 2400);
    EXPECT_EQ(start.motion.keyframes[1].pose.at(2), 2400);
}

}  // namespace
