#include "plot/CaptureView.h"

#include <cmath>

void Decimate(const CaptureSamples::Frame& frame, int mask, const CaptureView& view,
              ChannelColumns& out)
{
    const auto columns = static_cast<size_t>(view.columns > 0 ? view.columns : 0);
    for (size_t c = 0; c < kChannels; ++c)
        out[c].assign(mask & (1 << c) ? columns : 0, PlotColumn{});
    if (columns == 0 || view.spanUs <= 0 || frame.newestUs < 0)
        return;
    const long long oldestMs = frame.newestUs / 1000 - CaptureSamples::kBins + 1;
    // The ring from its oldest bin on: the bins of a column merge in the order of time.
    const size_t n = frame.bins.size();
    const size_t first = static_cast<size_t>((frame.newestUs / 1000 + 1) % CaptureSamples::kBins);
    for (size_t k = 0; k < n; ++k) {
        const CaptureBin& bin = frame.bins[(first + k) % n];
        if (bin.ms < oldestMs || bin.ms < 0)
            continue;
        const long long col = view.Column(bin.ms * 1000 + 500);  // the middle of its millisecond
        if (col < 0 || col >= view.columns)
            continue;
        for (size_t c = 0; c < kChannels; ++c) {
            if (!(mask & (1 << c)))
                continue;
            PlotColumn& column = out[c][static_cast<size_t>(col)];
            if (!column.has) {
                column.has = true;
                column.values = bin.channels[c];
            } else {
                column.values.Merge(bin.channels[c]);
            }
        }
    }
}

std::vector<TimeTick> TimeTicks(const CaptureView& view, double minColumns)
{
    std::vector<TimeTick> ticks;
    if (view.columns <= 0 || view.spanUs <= 0)
        return ticks;
    // The smallest of 1, 2, 5 × 10^k ms that leaves `minColumns` between lines.
    const double minMs = minColumns * view.UsPerColumn() / 1000.0;
    long long step = 1;
    for (long long decade = 1;; decade *= 10) {
        if (decade >= minMs) { step = decade; break; }
        if (2 * decade >= minMs) { step = 2 * decade; break; }
        if (5 * decade >= minMs) { step = 5 * decade; break; }
    }
    for (long long ms = 0;; ms -= step) {
        const double x = view.columns + (view.shiftUs + static_cast<double>(ms) * 1000.0) /
                                            view.UsPerColumn();
        if (x < 0)
            break;
        if (x <= view.columns)
            ticks.push_back({x, ms});
    }
    return ticks;
}
