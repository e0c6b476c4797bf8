#include "plot/CaptureView.h"

#include <cmath>

long long CaptureView::Column(long long us) const
{
    const double x = columns - (static_cast<double>(newestUs) - shiftUs - static_cast<double>(us)) /
                                   UsPerColumn();
    return static_cast<long long>(std::floor(x));
}

void Decimate(const std::vector<CaptureBin>& bins, size_t channel, const CaptureView& view,
              std::vector<PlotColumn>& out)
{
    out.assign(static_cast<size_t>(view.columns > 0 ? view.columns : 0), PlotColumn{});
    if (view.columns <= 0 || view.spanUs <= 0)
        return;
    for (const CaptureBin& bin : bins) {
        const long long c = view.Column(bin.ms * 1000 + 500);  // the middle of its millisecond
        if (c < 0 || c >= view.columns)
            continue;
        PlotColumn& column = out[static_cast<size_t>(c)];
        if (!column.has) {
            column.has = true;
            column.values = bin.channels[channel];
        } else {
            column.values.Merge(bin.channels[channel]);
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
