// Poses and motions: the interpolation against known values, the motion file's round trip
// and refusals, and the player on six virtual servos.
#include "BusFixture.h"
#include "WaitFor.h"
#include "bus/ServoBus.h"
#include "servo/MotionFile.h"
#include "servo/MotionPlayer.h"

#include <sstream>

namespace {

Motion OneServo(Easing easing)
{
    return {easing, {{{{1, 0}}, 1000, 0}, {{{1, 1000}}, 1000, 500}}};
}

TEST(MotionTimeline, KnownValues)
{
    // From 0 at 0 ms: ease-in to keyframe 0 (0, 200 ms), then 1000 over 1000 ms, held 500 ms.
    // A later loop goes back to 0 over keyframe 0's 1000 ms.
    const struct {
        Easing easing;
        double speed;
        int loops;
        double ms;
        int target;
        bool finished;
        int loop;
    } cases[] = {
        {Easing::Linear, 1, 1, 700, 500, false, 0},
        {Easing::Linear, 1, 1, 450, 250, false, 0},
        {Easing::MinimumJerk, 1, 1, 700, 500, false, 0},
        {Easing::MinimumJerk, 1, 1, 450, 104, false, 0},    // 10u³−15u⁴+6u⁵ at u = ¼
        {Easing::MinimumJerk, 1, 1, 1300, 1000, false, 0},  // holding
        {Easing::MinimumJerk, 1, 1, 1700, 1000, true, 0},
        {Easing::Linear, 2, 1, 450, 500, false, 0},         // twice as fast, the ease-in not
        {Easing::Linear, 0.5, 1, 700, 250, false, 0},
        {Easing::Linear, 1, 2, 1700 + 250, 750, false, 1},  // back toward keyframe 0
        {Easing::Linear, 1, 2, 1700 + 2500, 1000, true, 1},
        {Easing::Linear, 1, 0, 1700 + 2500 * 3 + 500, 500, false, 4},  // endless
    };
    for (const auto& c : cases) {
        const MotionTimeline timeline(OneServo(c.easing), {{1, 0}}, 200, c.loops, c.speed);
        const TimelinePoint p = timeline.At(c.ms);
        SCOPED_TRACE(testing::Message() << EasingName(c.easing) << " x" << c.speed << " at " << c.ms);
        EXPECT_EQ(p.targets.at(1), c.target);
        EXPECT_EQ(p.finished, c.finished);
        EXPECT_EQ(p.loop, c.loop);
    }
    EXPECT_DOUBLE_EQ(MotionTimeline(OneServo(Easing::Linear), {}, 200, 3, 2).LengthMs(), 200 + 750 + 2 * 1250);
    EXPECT_DOUBLE_EQ(EaseInMs({{1, 0}, {2, 0}}, {{1, 800}, {2, -40}}), 1.875 * 800 / kEaseInCountsPerSecond * 1000);
}

TEST(MotionFile, RoundTripAndRefusals)
{
    Motion motion{Easing::Linear, {{{{1, 100}, {12, -2000}}, 250, 0}, {{{1, 3000}, {12, 7}}, 1, 60000}}};
    Motion read;
    MotionFileError error;
    ASSERT_TRUE(ParseMotion(MotionJson(motion), read, error)) << error.Text();
    EXPECT_EQ(read, motion);

    const std::string frame = R"({"pose": {"1": 10}, "time_ms": 100})";
    const struct {
        std::string text;
        std::string where;
    } refused[] = {
        {"{\n  \"version\": 1,\n  \"keyframes\": [,]\n}", "line 3, column 17"},
        {R"({"version": 2, "keyframes": []})", "version"},
        {R"({"keyframes": []})", "version"},
        {R"({"version": 1})", "keyframes"},
        {R"({"version": 1, "keyframes": [{"time_ms": 100}]})", "keyframes[0].pose"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 10}}]})", "keyframes[0].time_ms"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 10}, "time_ms": 0}]})", "keyframes[0].time_ms"},
        {R"({"version": 1, "keyframes": [{"pose": {"1": 10}, "time_ms": -5}]})", "keyframes[0].time_ms"},
        {R"({"version": 1, "keyframes": [{"pose": {"254": 10}, "time_ms": 5}]})", "keyframes[0].pose.254"},
        {R"({"version": 1, "keyframes": [)" + frame + R"(, {"pose": {"2": 10}, "time_ms": 5}]})", "keyframes[1].pose"},
        {R"({"version": 1, "easing": "cubic", "keyframes": []})", "easing"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        EXPECT_FALSE(ParseMotion(r.text, read, error));
        EXPECT_EQ(error.where, r.where) << error.Text();
        EXPECT_EQ(read, motion);  // untouched
    }
}

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
        return jobs.Run(JobKind::Command, [&](BusAccess& a) { return PrepareMotion(a.protocol, *catalogue, motion, {}); });
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
