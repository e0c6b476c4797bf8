#include "plot/CaptureSamples.h"

#include <algorithm>

namespace {

// µs since `start`, none before it, and never before `newest` (-1: the first).
long long CaptureUs(CaptureSample::Clock::time_point time, CaptureSample::Clock::time_point start,
                    long long newest)
{
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(time - start).count();
    return std::max({us, 0LL, newest});
}

}  // namespace

std::vector<CaptureRow> CaptureRows(const FeedbackSamples::Captured& captured)
{
    std::vector<CaptureRow> rows;
    rows.reserve(captured.samples.size());
    long long newest = -1;
    for (const SeriesSample& s : captured.samples) {
        newest = CaptureUs(s.sample.time, captured.start, newest);
        rows.push_back({newest, ToPlotValues(s.sample.values, s.scale)});
    }
    const auto first = std::find_if(rows.begin(), rows.end(),
                                    [&](const CaptureRow& r) { return r.us >= newest - CaptureSamples::kKeptUs; });
    rows.erase(rows.begin(), first);
    return rows;
}

std::vector<CaptureRow> CaptureRows(const FeedbackSamples& samples)
{
    FeedbackSamples::Captured captured;
    samples.CopyCaptured(captured);
    return CaptureRows(captured);
}

CaptureSamples::CaptureSamples() : ring(static_cast<size_t>(kBins)) {}

void CaptureSamples::Clear()
{
    for (auto& b : ring)
        b.ms = -1;
    newestUs = -1;
    ++clears;
}

void CaptureSamples::Add(long long us, const PlotValues& values)
{
    if (us < newestUs)
        us = newestUs;
    newestUs = us;
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

void CaptureSamples::Fold(const FeedbackSamples& samples)
{
    samples.CopyCaptured(scratch, next);
    if (scratch.generation != generation) {
        Clear();
        generation = scratch.generation;
        samples.CopyCaptured(scratch, 0);
    }
    for (const SeriesSample& s : scratch.samples) {
        Add(CaptureUs(s.sample.time, scratch.start, newestUs), ToPlotValues(s.sample.values, s.scale));
        next = s.index + 1;
    }
}

void CaptureSamples::CopyFrame(Frame& into) const
{
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
