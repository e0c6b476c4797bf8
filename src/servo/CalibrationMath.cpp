#include "servo/CalibrationMath.h"

#include "protocol/ZNS.h"
#include "support/LeadingInt.h"

#include <algorithm>

namespace {

std::optional<WordRow> Row(const std::vector<MemoryItem>& rows, const char* name)
{
    for (const MemoryItem& item : rows) {
        if (item.name != name)
            continue;
        const int address = LeadingInt(item.address);
        if (LeadingInt(item.size) != 2 || address < 0 || address + 1 >= kImageSize ||
            !RowWritable(item.access))
            return std::nullopt;
        return WordRow{address, LeadingInt(item.signBit), LeadingInt(item.minimum),
                       LeadingInt(item.maximum)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<CalibrationRows> FindCalibrationRows(const std::vector<MemoryItem>& rows,
                                                   std::string& missing)
{
    CalibrationRows found;
    const std::pair<const char*, WordRow CalibrationRows::*> wanted[] = {
        {text::kCorrectionRow, &CalibrationRows::correction},
        {text::kMinLimitRow, &CalibrationRows::minLimit},
        {text::kMaxLimitRow, &CalibrationRows::maxLimit},
    };
    for (const auto& [name, field] : wanted) {
        const auto row = Row(rows, name);
        if (!row) {
            missing = name;
            return std::nullopt;
        }
        found.*field = *row;
    }
    found.span = found.maxLimit.maximum + 1;
    // A range of fewer than a few counts is no position range.
    if (found.span < 4 || found.correction.minimum > found.correction.maximum) {
        missing = text::kMaxLimitRow;
        return std::nullopt;
    }
    return found;
}

int WordValue(const WordRow& row, const MemoryImage& image, bool highByteFirst)
{
    const int a = image[static_cast<size_t>(row.address)];
    const int b = image[static_cast<size_t>(row.address + 1)];
    const auto word = static_cast<uint16_t>(highByteFirst ? (a << 8) | b : (b << 8) | a);
    return DecodeSignMagnitude(word, row.signBit);
}

int Wrap(int value, int span)
{
    const int r = value % span;
    return r < 0 ? r + span : r;
}

int Around(int from, int to, int span)
{
    const int d = Wrap(to - from, span);
    return d >= (span + 1) / 2 ? d - span : d;
}

std::optional<int> FitCorrection(int value, const WordRow& row, int span)
{
    for (const int candidate : {value, value - span, value + span})
        if (candidate >= row.minimum && candidate <= row.maximum)
            return candidate;
    return std::nullopt;
}

void TravelTrack::Add(int reading)
{
    reading = Wrap(reading, span);
    if (samples == 0) {
        unwrapped = low = high = reading;
    } else {
        unwrapped += Around(last, reading, span);
        low = std::min(low, unwrapped);
        high = std::max(high, unwrapped);
    }
    last = reading;
    ++samples;
}

int SeamShift(const TravelTrack& travel, int span)
{
    // The unused arc runs from the high end round to the low end; its middle becomes 0.
    const int unusedMiddle = travel.High() + (span - travel.Moved()) / 2;
    return Around(0, unusedMiddle, span);
}

std::optional<Limits> TravelLimits(const TravelTrack& travel, int shift, int margin,
                                   const CalibrationRows& rows)
{
    const int low = Wrap(travel.Low() - shift, rows.span);
    const int high = low + travel.Moved();
    if (high >= rows.span)
        return std::nullopt;
    Limits limits;
    limits.low = std::clamp(low - margin, rows.minLimit.minimum, rows.minLimit.maximum);
    limits.high = std::clamp(high + margin, rows.maxLimit.minimum, rows.maxLimit.maximum);
    return limits;
}
