#include "servo/FeedbackCapture.h"

#include "protocol/ZNS.h"

#include <algorithm>
#include <cstdio>

FeedbackRange CaptureRange(const DebugProfile& debug, CaptureBlock block)
{
    FeedbackRange r = FeedbackReadRange(debug.feedbackFirst, debug.feedbackLast);
    if (block == CaptureBlock::Motion)
        r.count = static_cast<uint8_t>(std::min<int>(r.count, kMotionBlockBytes));
    return r;
}

FeedbackCapture::FeedbackCapture(int firstId, int lastId, CaptureBlock b)
    : first(firstId), last(std::max(firstId, lastId)), next(firstId), block(b)
{
}

Reply FeedbackCapture::Next(ZNS& protocol, const DebugTarget& target, CaptureSample& out)
{
    out.id = next;
    next = next >= last ? first : next + 1;
    const FeedbackRange range = CaptureRange(target.debug, block);
    const auto begin = CaptureSample::Clock::now();
    Reply r = Reply::Failed(Outcome::NoAnswer);
    FeedbackBlock bytes{};
    if (range.count != 0)
        r = protocol.ReadMemory(static_cast<uint8_t>(out.id), range.address, bytes.data(), range.count);
    const auto end = CaptureSample::Clock::now();
    out.time = begin + (end - begin) / 2;
    out.answered = r.ok();
    if (out.answered)
        out.values = DecodeFeedback(bytes, target.profile.byteOrder != 0);
    return r;
}

double WireLimitPerSecond(int requestBytes, int replyBytes, int rate, int returnDelayUs)
{
    const double us = (requestBytes + replyBytes) * 10.0 * 1e6 / rate + returnDelayUs;
    return 1e6 / us;
}

std::string CaptureTimeText(long long us)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", us / 1000, us % 1000);
    return text;
}

std::string CaptureCsvRow(long long us, const CaptureSample& s, CaptureBlock block)
{
    const std::string time = CaptureTimeText(us);
    if (!s.answered)
        return time + ",,,,,,,,,,timeout";
    if (block == CaptureBlock::Full)
        return FeedbackCsvRow(0, s.values).replace(0, 1, time);
    const Feedback& f = s.values;
    return time + "," + std::to_string(f.position) + "," + std::to_string(f.speed) + "," +
           std::to_string(f.load) + ",,,,,,,";
}
