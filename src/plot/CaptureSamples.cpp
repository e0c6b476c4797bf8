#include "plot/CaptureSamples.h"

CaptureSamples::CaptureSamples() : ring(static_cast<size_t>(kBins)) {}

void CaptureSamples::Clear()
{
    std::lock_guard lock(mutex);
    rows.clear();
    for (auto& b : ring)
        b.ms = -1;
    newestUs = -1;
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
    into.bins.clear();
    std::lock_guard lock(mutex);
    into.newestUs = newestUs;
    if (newestUs < 0)
        return;
    const long long newest = newestUs / 1000;
    for (long long ms = newest - kBins + 1; ms <= newest; ++ms) {
        if (ms < 0)
            continue;
        const CaptureBin& bin = ring[static_cast<size_t>(ms % kBins)];
        if (bin.ms == ms)
            into.bins.push_back(bin);
    }
}

std::vector<CaptureRow> CaptureSamples::CopyRows() const
{
    std::lock_guard lock(mutex);
    return {rows.begin(), rows.end()};
}
