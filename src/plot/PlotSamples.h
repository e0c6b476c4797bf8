#pragma once
// The plot's units: the page's raw feedback series turned into plot values when the plot
// draws or exports. Position and target are × the position divisor (the left scale); load,
// speed, fast/slow and current (speed and fast/slow first × the speed factor / 10) are
// × centredGain + 2000 (the right scale, 2000 standing for 0); all in 16-bit arithmetic.

#include "servo/FeedbackSamples.h"

#include <array>
#include <cstdint>
#include <vector>

// Channels in drawing order; the bit of channel c is 1 << c.
enum PlotChannel { kPosition, kLoad, kSpeed, kTarget, kFastSlow, kCurrent, kChannels };

using PlotValues = std::array<int16_t, kChannels>;

// Plot units per raw unit on the right scale.
inline constexpr int kCentredGain = 2;

// The plot values of a sample read at `scale`.
PlotValues ToPlotValues(const Feedback& f, const FeedbackScale& scale, int centredGain = kCentredGain);

// The poll's answers as the plot's six lists, newest first, each value with its receive time
// in ms since the first answer.
struct PlotLists {
    std::array<std::vector<int16_t>, kChannels> values;
    std::array<std::vector<long long>, kChannels> times;
    const std::vector<int16_t>& operator[](size_t channel) const { return values[channel]; }
};

// Into `into`, reusing its storage; without `times` the receive times are left out (a paint).
void ToPlotLists(const FeedbackSamples::Polled& polled, PlotLists& into, bool times = true);
// The lists of the answers `samples` shows now.
PlotLists PollLists(const FeedbackSamples& samples);
