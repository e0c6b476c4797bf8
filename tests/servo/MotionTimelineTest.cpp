// Poses and motions without a bus: the interpolation against known values, and the motion
// file's round trip and refusals.
#include "servo/MotionFile.h"

#include <gtest/gtest.h>

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
    // The slowest servo for its distance sets the length: servo 2 is capped at 50 counts/s.
    EXPECT_DOUBLE_EQ(EaseInMs({{1, 0}, {2, 0}}, {{1, 800}, {2, 200}}, {{2, 50.0}}), 1.875 * 200 / 50 * 1000);
    EXPECT_DOUBLE_EQ(EaseInMs({{1, 5}}, {{1, 5}}), kEaseInMinMs);
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
        {R"({"version": 1, "keyframes": [{"pose": {"1": 1e22222}, "time_ms": 5}]})", ""},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.text);
        EXPECT_FALSE(ParseMotion(r.text, read, error));
        EXPECT_EQ(error.where, r.where) << error.Text();
        EXPECT_EQ(read, motion);  // untouched
    }
}

}  // namespace
