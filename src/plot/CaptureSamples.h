#pragma once
// A fast capture in the plot's units, made from the page's series when the plot draws or
// exports it: its rows (each answer's time in µs since the capture began, with its plot
// values), and the picture's bins, one min/max per millisecond of the last 10 s, folded in as
// answers come, so that a paint costs the same whatever the sample rate. The bins are the
// window thread's own.

#include "plot/PlotSamples.h"

#include <array>
#include <cstdint>
#include <vector>

// The first, least, greatest and last value of the samples that fell into one bin.
struct MinMax {
    int16_t first = 0, min = 0, max = 0, last = 0;
    void Start(int16_t v) { first = min = max = last = v; }
    void Add(int16_t v)
    {
        min = v < min ? v : min;
        max = v > max ? v : max;
        last = v;
    }
    // `later` follows this bin in time.
    void Merge(const MinMax& later)
    {
        min = later.min < min ? later.min : min;
        max = later.max > max ? later.max : max;
        last = later.last;
    }
};

struct CaptureRow {
    long long us = 0;  // since the capture began
    PlotValues values{};
};

struct CaptureBin {
    long long ms = -1;  // the millisecond it covers; -1 none
    std::array<MinMax, kChannels> channels;
};

// The capture's answers of its last 10 s as rows: a time before the capture began counts as
// its start, and a time never goes back from the one before it.
std::vector<CaptureRow> CaptureRows(const FeedbackSamples::Captured& captured);
std::vector<CaptureRow> CaptureRows(const FeedbackSamples& samples);

class CaptureSamples {
public:
    static constexpr long long kKeptUs = FeedbackSamples::kCaptureKeptUs;
    static constexpr int kBins = static_cast<int>(kKeptUs / 1000) + 1;

    // What a paint draws: the bins of the last 10 s as the ring holds them (the bin of
    // millisecond m at m % kBins; one whose `ms` lies outside the 10 s, or is -1, holds
    // nothing), and the newest time. Kept from paint to paint: a copy brings over only the
    // bins that changed since the last one.
    struct Frame {
        std::vector<CaptureBin> bins;
        long long newestUs = -1;  // -1: no sample yet
        long long copiedMs = -1;  // the newest bin copied, whose samples may have grown since
        unsigned long long clears = 0;  // the bins' Clear count at the copy
    };

    CaptureSamples();
    void Clear();
    // A sample `us` after the capture began; times never go back.
    void Add(long long us, const PlotValues& values);
    // The last capture's answers that came since the last fold, converted; all of them
    // again once another capture began or the series was cleared.
    void Fold(const FeedbackSamples& samples);
    void CopyFrame(Frame& into) const;

private:
    std::vector<CaptureBin> ring;  // bin of millisecond m at m % kBins
    long long newestUs = -1;
    unsigned long long clears = 1;
    // The fold's place in the series.
    unsigned long long generation = 0;
    long long next = 0;
    FeedbackSamples::Captured scratch;
};
