#pragma once
// The motion file: JSON, versioned, written and read whole.
//
//   {
//     "format": "servo-motion",
//     "version": 1,
//     "easing": "minimum-jerk",          // or "linear"; default minimum-jerk
//     "keyframes": [
//       {"pose": {"1": 2047, "2": 1500}, "time_ms": 1000, "hold_ms": 500},
//       ...
//     ]
//   }
//
// Every keyframe names the same servos (IDs 0..253 as the pose's keys); "time_ms" (above 0)
// is the time to reach the pose from the keyframe before, "hold_ms" (0 or more, default 0)
// how long it is then held. A file of a newer version is refused, not guessed at.

#include "servo/Motion.h"

#include <string>

inline constexpr int kMotionFileVersion = 1;
inline constexpr const char* kMotionFormat = "servo-motion";
// The longest time or hold a keyframe may have (an hour), and the most keyframes.
inline constexpr int kMaxKeyframeMs = 3600000;
inline constexpr size_t kMaxKeyframes = 10000;

// Why a motion could not be read: where (a field such as "keyframes[2].time_ms", or
// "line 3, column 7" for text that is not JSON) and what is wrong there.
struct MotionFileError {
    std::string where;
    std::string what;
    bool ok() const { return what.empty(); }
    std::string Text() const { return where.empty() ? what : where + ": " + what; }
};

// The motion in `text`; `error` says why not.
bool ParseMotion(const std::string& text, Motion& motion, MotionFileError& error);
std::string MotionJson(const Motion& motion);

// The same with a file. Saving writes a file beside it and renames it over the old one, so a
// failed save never leaves half a motion.
bool LoadMotion(const std::string& path, Motion& motion, MotionFileError& error);
bool SaveMotion(const std::string& path, const Motion& motion, std::string& error);

// Whether `keyframe` names the same servos as the motion's keyframes do (an empty motion
// takes any).
bool SameServos(const Motion& motion, const Keyframe& keyframe);
