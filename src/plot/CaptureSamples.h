#pragma once
// The samples of a fast capture: the last 10 s of every channel's plot values with their
// times in µs, kept whole for the recording and the export, and beside them one min/max bin
// per millisecond, so that a paint costs the same whatever the sample rate. One mutex, held
// for an insertion or a copy.

#include "plot/PlotSamples.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
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

using PlotValues = std::array<int16_t, kChannels>;

struct CaptureRow {
    long long us = 0;  // since the capture began
    PlotValues values{};
};

struct CaptureBin {
    long long ms = -1;  // the millisecond it covers; -1 none
    std::array<MinMax, kChannels> channels;
};

class CaptureSamples {
public:
    static constexpr long long kKeptUs = 10'000'000;
    static constexpr int kBins = static_cast<int>(kKeptUs / 1000) + 1;

    // What a paint draws: the bins of the last 10 s as the store's ring holds them (the bin of
    // millisecond m at m % kBins; one whose `ms` lies outside the 10 s, or is -1, holds
    // nothing), and the newest time. Kept from paint to paint: a copy brings over only the
    // bins that changed since the last one.
    struct Frame {
        std::vector<CaptureBin> bins;
        long long newestUs = -1;  // -1: no sample yet
        long long copiedMs = -1;  // the newest bin copied, whose samples may have grown since
        unsigned long long clears = 0;  // the store's Clear count at the copy
    };

    CaptureSamples();
    void Clear();
    // A sample `us` after the capture began; times never go back.
    void Add(long long us, const PlotValues& values);
    void CopyFrame(Frame& into) const;
    std::vector<CaptureRow> CopyRows() const;

private:
    mutable std::mutex mutex;
    std::deque<CaptureRow> rows;  // oldest first
    std::vector<CaptureBin> ring;  // bin of millisecond m at m % kBins
    long long newestUs = -1;
    unsigned long long clears = 1;
};
