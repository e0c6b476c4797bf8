#pragma once
// The plot's six sample lists, newest first, each keeping at most `capacity` samples, each
// sample with its receive time. One mutex, held by an add for one insertion and by a paint
// only for copying the lists out, so a reader on another thread waits no longer than that.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// Channels in drawing order; the bit of channel c is 1 << c.
enum PlotChannel { kPosition, kLoad, kSpeed, kTarget, kFastSlow, kCurrent, kChannels };

class SampleList {
public:
    explicit SampleList(int capacity = 0) : capacity(capacity) {}
    // A list longer than the new capacity drops its oldest samples.
    void SetCapacity(int c);
    void Add(int16_t value, long long ms = 0);
    void Clear();
    int Size() const { return static_cast<int>(values.size()); }
    int16_t operator[](int i) const { return values[static_cast<size_t>(i)]; }
    const std::deque<int16_t>& Values() const { return values; }
    const std::deque<long long>& Times() const { return times; }

private:
    int capacity;
    std::deque<int16_t> values;  // newest first
    std::deque<long long> times;  // of each value: ms since the lists' first sample
};

class PlotSamples {
public:
    using Clock = std::chrono::steady_clock;

    struct Snapshot {
        std::array<std::vector<int16_t>, kChannels> values;
        std::array<std::vector<long long>, kChannels> times;  // ms since the first sample
        const std::vector<int16_t>& operator[](size_t channel) const { return values[channel]; }
    };

    void SetCapacity(int capacity);
    // Empties the lists; the next sample starts the clock of the receive times again.
    void Clear();

    // Raw values in, plot values stored: position and target × positionFactor, the others
    // × centredGain + 2000, all in 16-bit arithmetic.
    void AddPositionSample(int v) { Add(kPosition, v * static_cast<long long>(positionFactor)); }
    void AddLoadSample(int v) { Add(kLoad, Centred(v)); }
    void AddSpeedSample(int v) { Add(kSpeed, Centred(v)); }
    void AddTargetSample(int v) { Add(kTarget, v * static_cast<long long>(positionFactor)); }
    void AddFastSlowSample(int v) { Add(kFastSlow, Centred(v)); }
    void AddCurrentSample(int v) { Add(kCurrent, Centred(v)); }
    // One raw value of every channel, in channel order, received at `at`: one insertion.
    void AddSample(const std::array<int, kChannels>& raw, Clock::time_point at);

    // The plot value a raw value `v` of `channel` is stored as.
    int16_t Stored(PlotChannel channel, int v) const;

    // The lists as they stand, copied under the lock (into `into`, reusing its storage);
    // without `times` the receive times are left out, for a paint.
    void CopyInto(Snapshot& into, bool times = true) const;
    Snapshot Copy() const
    {
        Snapshot s;
        CopyInto(s);
        return s;
    }

    std::atomic<int> positionFactor{1};
    std::atomic<int> centredGain{2};

private:
    long long Centred(int v) const
    {
        // Only the low 16 bits of v count.
        return static_cast<int16_t>(static_cast<uint16_t>(v)) * static_cast<long long>(centredGain) + 2000;
    }
    void Add(PlotChannel channel, long long value);
    // Under the lock: ms since the first sample, which `at` is when there was none.
    long long Since(Clock::time_point at);

    mutable std::mutex mutex;
    std::array<SampleList, kChannels> lists;
    bool started = false;  // whether `origin` holds the first sample's time
    Clock::time_point origin;
};
