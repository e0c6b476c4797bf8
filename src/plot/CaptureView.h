#pragma once
// Where a fast capture's samples fall on the plot: time runs along x, the newest sample at
// the right edge, and every pixel column shows the first, least, greatest and last value of
// the samples that fall on it, so a step or a spike of one sample is never lost between
// pixels and a paint does as much work at 3,000 samples a second as at 20.

#include "plot/CaptureSamples.h"

#include <cmath>
#include <vector>

struct CaptureView {
    int columns = 0;          // pixel columns of the plot
    double spanUs = 0;        // time across them
    double shiftUs = 0;       // how far the newest sample lies right of the right edge
    long long newestUs = 0;

    double UsPerColumn() const { return spanUs / columns; }
    // The column of time `us` (outside 0..columns-1 when off the plot).
    long long Column(long long us) const
    {
        const double x = columns - (static_cast<double>(newestUs) - shiftUs - static_cast<double>(us)) *
                                       columns / spanUs;
        return static_cast<long long>(std::floor(x));
    }
};

// The span the plot shows with the zoom slider at `sampleSpacing` (8..64): all 10 s at 8.
inline double CaptureSpanUs(int sampleSpacing)
{
    return static_cast<double>(CaptureSamples::kKeptUs) * 8.0 / (sampleSpacing > 0 ? sampleSpacing : 8);
}

struct PlotColumn {
    bool has = false;
    MinMax values;
};
// The bins gathered into the view's columns, for each channel whose bit is set in `mask`
// (`out[c]` resized to the columns).
using ChannelColumns = std::array<std::vector<PlotColumn>, kChannels>;
void Decimate(const CaptureSamples::Frame& frame, int mask, const CaptureView& view,
              ChannelColumns& out);

// A vertical grid line: its x in columns and its time in ms before the newest sample (0 or
// negative), a round step apart, at least `minColumns` columns.
struct TimeTick {
    double x = 0;
    long long ms = 0;
};
std::vector<TimeTick> TimeTicks(const CaptureView& view, double minColumns = 70);
