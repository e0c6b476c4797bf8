#pragma once
// A servo's feedback: which bytes a poll reads, how the block decodes into fields, and the
// texts servoctl monitor (and the window) show for them.

#include "catalogue/ModelTypes.h"
#include "protocol/Reply.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr int kFeedbackBlockSize = 24;
using FeedbackBlock = std::array<uint8_t, kFeedbackBlockSize>;

// Until a model's profile is applied: feedback 56..68, torque switch at 40, positions
// undivided, speeds unscaled (factor 10 tenths).
inline constexpr DebugProfile kDefaultDebugProfile{56, 68, 40, 1, 10};

// The read of a poll: `count` bytes from `address`, at most the block's size; none (count
// 0) when the range ends before it starts.
struct FeedbackRange {
    uint8_t address = 0;
    uint8_t count = 0;
};
FeedbackRange FeedbackReadRange(int first, int last);

// A position divisor of 0 would divide by zero; it counts as 1.
inline int EffectiveDivisor(int divisor)
{
    return divisor != 0 ? divisor : 1;
}

struct Feedback {
    int position = 0;
    int speed = 0;
    int load = 0;
    int voltage = 0;      // tenths of a volt
    int temperature = 0;  // degrees
    int status = 0;       // fault bits
    int moving = 0;
    int target = 0;
    int current = 0;
    int fastSlow = 0;
};

// The fields of a block read from the first feedback address, in the servo's byte order.
Feedback DecodeFeedback(const FeedbackBlock& block, bool highByteFirst);

class ZNS;

// One poll: the block of `id` in the range of `debug`, decoded in the byte order of
// `profile`. No answer when the range is empty; a damaged answer is no answer, and nothing of
// it reaches `out`.
Reply ReadFeedback(ZNS& protocol, uint8_t id, const DebugProfile& debug, const ServoProfile& profile,
                   Feedback& out);

// A speed or fast/slow value as the plot takes it: × speedFactor / 10, truncating.
int ScaleBySpeedFactor(int value, int speedFactor);

// "7.4 V" for 74.
std::string VoltageText(int tenths);
// "35 度".
std::string TemperatureText(int degrees);


// Feedback as comma-separated values, unscaled: the header, the row of an answered poll
// `ms` milliseconds after the first, and the row of a poll without an answer.
inline constexpr const char* kFeedbackCsvHeader =
    "time_ms,position,speed,load,voltage,temperature,moving,current,target,fast_slow,status";
std::string FeedbackCsvRow(long long ms, const Feedback& f);
std::string FeedbackCsvTimeoutRow(long long ms);

inline constexpr const char* kTimeoutText = "通信超时";
inline constexpr const char* kStatusNormal = "舵机正常";
