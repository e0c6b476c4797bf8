#pragma once
// Poses and motions: a pose is a position for each of a set of servos; a motion is a list of
// keyframes (a pose, the time to reach it from the one before, and how long to hold it),
// played linearly or smoothly (minimum jerk). The timeline turns a motion, the pose the
// servos start from, a loop count and a speed factor into the targets at any moment.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// ID -> position, in the servo's own counts.
using Pose = std::map<uint8_t, int>;

struct Keyframe {
    Pose pose;
    int timeMs = 1000;  // to reach the pose from the keyframe before (above 0)
    int holdMs = 0;     // then held still
    bool operator==(const Keyframe&) const = default;
};

enum class Easing { Linear, MinimumJerk };

struct Motion {
    Easing easing = Easing::MinimumJerk;
    std::vector<Keyframe> keyframes;
    bool operator==(const Motion&) const = default;

    // The servos every keyframe names, in increasing order (of the first keyframe).
    std::vector<uint8_t> Ids() const;
};

// "linear", "minimum-jerk".
const char* EasingName(Easing easing);

// The share of the way covered at `u` (0..1) of a segment: u itself, or the minimum-jerk
// curve 10u³ − 15u⁴ + 6u⁵, which starts and ends with no speed and no acceleration.
double Ease(Easing easing, double u);

// The playback's limits.
inline constexpr double kMinSpeedFactor = 0.1;
inline constexpr double kMaxSpeedFactor = 5.0;
inline constexpr int kMinRateHz = 1;
inline constexpr int kMaxRateHz = 200;
inline constexpr int kDefaultRateHz = 50;
// The ease-in from where the servos stand to the first keyframe: a servo's peak speed, as a
// share of its range (the counts of its full travel) a second, or in counts a second where
// its range is not known; and the ease-in's shortest length.
inline constexpr double kEaseInRangePerSecond = 0.1;
inline constexpr double kEaseInCountsPerSecond = 400;
inline constexpr double kEaseInMinMs = 300;

// How long the ease-in from `from` to `to` lasts: minimum jerk, whose peak speed is 1.875
// times its mean, long enough that no servo passes its peak speed (`countsPerSecond` by ID,
// kEaseInCountsPerSecond for one not in it).
double EaseInMs(const Pose& from, const Pose& to, const std::map<uint8_t, double>& countsPerSecond = {});

// Where a playback is at a moment.
struct TimelinePoint {
    Pose targets;
    bool finished = false;  // past the last keyframe of the last loop
    int loop = 0;           // 0-based
    int keyframe = 0;       // the keyframe being reached or held
};

// A motion played from `start` (the servos' positions when it starts; every ID of the motion
// should be in it): the first pass eases in to keyframe 0 over `easeInMs` (the speed factor
// does not hurry it) instead of keyframe 0's time; each later loop reaches keyframe 0 from
// the last one over keyframe 0's time. `loops` 0 plays until stopped. Times and holds are
// divided by `speed`.
class MotionTimeline {
public:
    MotionTimeline(const Motion& motion, const Pose& start, double easeInMs, int loops = 1,
                   double speed = 1.0);

    TimelinePoint At(double ms) const;
    // The first pass's length, and each later loop's (ms).
    double FirstPassMs() const { return firstPassMs; }
    double LoopMs() const { return loopMs; }
    // The whole playback's length; negative when endless.
    double LengthMs() const;

private:
    // The point `ms` into a pass that starts from `from` and reaches keyframe 0 in `firstMs`.
    void InPass(double ms, const Pose& from, double firstMs, TimelinePoint& point) const;

    Motion motion;
    Pose start;
    double easeInMs;
    int loops;
    double speed;
    double firstPassMs = 0;
    double loopMs = 0;
};
