#pragma once
// Feedback captured at the speed of the bus: one read after another, each as soon as the last
// one is answered or timed out, of one servo or in turn over an ID range, over the whole
// feedback block or only its first six bytes (position, speed, load) for a higher rate.
// Every sample carries its own time, in µs on the steady clock the port's time-outs run on.

#include "servo/DebugTarget.h"

#include <chrono>
#include <cstdint>
#include <string>

class ZNS;

// Which bytes a capture reads: the page's whole feedback block, or its motion fields only.
enum class CaptureBlock : uint8_t { Full, Motion };
inline constexpr int kMotionBlockBytes = 6;

// The read of one capture sample for `debug`'s range; none (count 0) when it is empty.
FeedbackRange CaptureRange(const DebugProfile& debug, CaptureBlock block);

struct CaptureSample {
    using Clock = std::chrono::steady_clock;
    int id = 0;
    bool answered = false;
    // The middle of the exchange: the servo takes its values between the request and the
    // reply.
    Clock::time_point time;
    Feedback values;  // of an answered read; with CaptureBlock::Motion only its first three
};

class FeedbackCapture {
public:
    FeedbackCapture(int firstId, int lastId, CaptureBlock block);

    // One read of the next servo in turn; its reply says what came of it.
    Reply Next(ZNS& protocol, const DebugTarget& target, CaptureSample& out);
    CaptureBlock Block() const { return block; }

private:
    int first;
    int last;
    int next;
    CaptureBlock block;
};

// Reads a second the wire allows for `requestBytes` and `replyBytes` at `rate` baud (10 bits
// a byte) with the servo's return delay: the bound a capture is measured against.
double WireLimitPerSecond(int requestBytes, int replyBytes, int rate, int returnDelayUs);
// The request and reply bytes of one capture read of `count` data bytes.
inline constexpr int kReadRequestBytes = 8;
inline constexpr int ReadReplyBytes(int count)
{
    return 6 + count;
}

// "12.345": µs as ms with three decimals, the time column of a capture's CSV.
std::string CaptureTimeText(long long us);
// A capture sample's CSV row with the columns of kFeedbackCsvHeader, timed `us` after the
// first; the fields a motion-only read did not read stay empty.
std::string CaptureCsvRow(long long us, const CaptureSample& s, CaptureBlock block);
