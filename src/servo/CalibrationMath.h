#pragma once
// The numbers of a calibration, without the bus: the rows it writes, found by name in a
// model's memory table, and the arithmetic of corrections, seams and limits on a position
// range that wraps (0 .. span - 1).

#include "catalogue/ModelTypes.h"
#include "servo/MemoryRows.h"

#include <optional>
#include <string>
#include <vector>

namespace text {
inline constexpr const char* kCorrectionRow = "位置校正";
inline constexpr const char* kMinLimitRow = "最小角度限制";
inline constexpr const char* kMaxLimitRow = "最大角度限制";
}  // namespace text

// One word row: where it is, how its sign is coded and what it may hold.
struct WordRow {
    int address = -1;
    int signBit = -1;
    int minimum = 0;
    int maximum = 0;
};

struct CalibrationRows {
    WordRow correction, minLimit, maxLimit;
    // The position range's size: the largest value of the maximum-limit row, plus one.
    int span = 0;
    int Middle() const { return span / 2; }
};

// The rows by name; nothing when one is missing or is not a writable word inside the
// memory, and then `missing` names it.
std::optional<CalibrationRows> FindCalibrationRows(const std::vector<MemoryItem>& rows,
                                                   std::string& missing);

// A row's value in the image, sign and byte order applied.
int WordValue(const WordRow& row, const MemoryImage& image, bool highByteFirst);

// `value` into 0 .. span - 1.
int Wrap(int value, int span);
// The shortest way from `from` to `to` around the range: -span/2 .. span/2 - 1.
int Around(int from, int to, int span);

// The correction `value` or one equal to it a whole range away, whichever lies in the row's
// range (the position wraps, so both read alike); nothing when neither does.
std::optional<int> FitCorrection(int value, const WordRow& row, int span);

// Positions read while a joint is turned, unwrapped across the seam: each step is taken
// the short way round, so a reading that jumps from 4095 to 0 counts as one step on.
class TravelTrack {
public:
    explicit TravelTrack(int span) : span(span) {}
    void Add(int reading);
    bool Empty() const { return samples == 0; }
    int Samples() const { return samples; }
    // The ends, in counts of the reading's frame, unwrapped from the first reading.
    int Low() const { return low; }
    int High() const { return high; }
    int Moved() const { return high - low; }
    // The travel runs over the seam (past the range's end or below its start).
    bool CrossesSeam() const { return samples > 0 && (low < 0 || high >= span); }
    int Last() const { return last; }

private:
    int span;
    int samples = 0;
    int unwrapped = 0, low = 0, high = 0, last = 0;
};

// How far the reading must move so that the seam lies in the middle of the arc the travel
// leaves unused: the shift s makes the new reading old - s.
int SeamShift(const TravelTrack& travel, int span);

// The limits that hold the travel's ends read `shift` lower, widened by `margin` and clipped
// to the limit rows' ranges; nothing when the travel still crosses the seam so read.
struct Limits {
    int low = 0, high = 0;
};
std::optional<Limits> TravelLimits(const TravelTrack& travel, int shift, int margin,
                                   const CalibrationRows& rows);
