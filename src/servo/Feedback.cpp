#include "servo/Feedback.h"

#include "protocol/ZNS.h"

#include <algorithm>
#include <cstdio>

namespace {

int Word(const FeedbackBlock& b, int offset, bool highByteFirst, int signBit)
{
    const int first = b[static_cast<size_t>(offset)];
    const int second = b[static_cast<size_t>(offset + 1)];
    const auto field = static_cast<uint16_t>(highByteFirst ? (first << 8) | second
                                                           : (second << 8) | first);
    return DecodeSignMagnitude(field, signBit);
}

}  // namespace

FeedbackRange FeedbackReadRange(int first, int last)
{
    FeedbackRange r;
    r.address = static_cast<uint8_t>(first);
    const int count = last - first + 1;
    r.count = static_cast<uint8_t>(std::clamp(count, 0, kFeedbackBlockSize));
    return r;
}

Feedback DecodeFeedback(const FeedbackBlock& b, bool highByteFirst)
{
    Feedback f;
    f.position = Word(b, 0, highByteFirst, 15);
    f.speed = Word(b, 2, highByteFirst, 15);
    f.load = Word(b, 4, highByteFirst, 10);
    f.voltage = b[6];
    f.temperature = b[7];
    f.status = b[9];
    f.moving = b[10];
    f.target = Word(b, 11, highByteFirst, 15);
    f.current = Word(b, 13, highByteFirst, 15);
    f.fastSlow = Word(b, 15, highByteFirst, 15);
    return f;
}

Reply ReadFeedback(ZNS& protocol, uint8_t id, const DebugProfile& debug, const ServoProfile& profile,
                   Feedback& out)
{
    const FeedbackRange range = FeedbackReadRange(debug.feedbackFirst, debug.feedbackLast);
    if (range.count == 0)
        return Reply::Failed(Outcome::NoAnswer);
    FeedbackBlock block{};
    const Reply r = protocol.ReadMemory(id, range.address, block.data(), range.count);
    if (r)
        out = DecodeFeedback(block, profile.byteOrder != 0);
    return r;
}

int ScaleBySpeedFactor(int value, int speedFactor)
{
    return value * speedFactor / 10;  // C++ division truncates toward zero
}

std::string VoltageText(int tenths)
{
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " V";
}

std::string TemperatureText(int degrees)
{
    return std::to_string(degrees) + " 度";
}

std::string FeedbackCsvRow(long long ms, const Feedback& f)
{
    char status[8];
    std::snprintf(status, sizeof status, "0x%02X", f.status & 0xFF);
    return std::to_string(ms) + "," + std::to_string(f.position) + "," + std::to_string(f.speed) +
           "," + std::to_string(f.load) + "," + std::to_string(f.voltage / 10) + "." +
           std::to_string(f.voltage % 10) + "," + std::to_string(f.temperature) + "," +
           std::to_string(f.moving) + "," + std::to_string(f.current) + "," +
           std::to_string(f.target) + "," + std::to_string(f.fastSlow) + "," + status;
}

std::string FeedbackCsvTimeoutRow(long long ms)
{
    return std::to_string(ms) + ",,,,,,,,,,timeout";
}
