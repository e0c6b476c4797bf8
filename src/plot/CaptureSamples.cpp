#include "plot/CaptureSamples.h"

#include <algorithm>

CaptureSamples::CaptureSamples() : ring(static_cast<size_t>(kBins)) {}

void CaptureSamples::Clear()
{
    std::lock_guard lock(mutex);
    rows.clear();
    for (auto& b : ring)
        b.ms = -1;
    newestUs = -1;
    ++clears;
}

void CaptureSamples::Add(long long us, const PlotValues& values)
{
    std::lock_guard lock(mutex);
    if (us < newestUs)
        us = newestUs;
    newestUs = us;
    rows.push_back({us, values});
    while (rows.front().us < us - kKeptUs)
        rows.pop_front();
    const long long ms = us / 1000;
    CaptureBin& bin = ring[static_cast<size_t>(ms % kBins)];
    if (bin.ms != ms) {
        bin.ms = ms;
        for (size_t c = 0; c < kChannels; ++c)
            bin.channels[c].Start(values[c]);
        return;
    }
    for (size_t c = 0; c < kChannels; ++c)
        bin.channels[c].Add(values[c]);
}

void CaptureSamples::CopyFrame(Frame& into) const
{
    std::lock_guard lock(mutex);
    const long long newestMs = newestUs < 0 ? -1 : newestUs / 1000;
    if (into.clears != clears || into.bins.size() != ring.size() || into.copiedMs < 0 ||
        newestMs - into.copiedMs >= kBins) {
        into.bins = ring;
    } else {
        for (long long ms = into.copiedMs; ms <= newestMs; ++ms)
            into.bins[static_cast<size_t>(ms % kBins)] = ring[static_cast<size_t>(ms % kBins)];
    }
    into.clears = clears;
    into.copiedMs = newestMs;
    into.newestUs = newestUs;
}

std::vector<CaptureRow> CaptureSamples::CopyRows() const
{
    std::lock_guard lock(mutex);
    return {rows.begin(), rows.end()};
}
