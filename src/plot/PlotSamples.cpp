#include "plot/PlotSamples.h"

#include "plot/PlotGeometry.h"

void SampleList::SetCapacity(int c)
{
    capacity = c;
    while (!values.empty() && static_cast<int>(values.size()) > capacity) {
        values.pop_back();
        times.pop_back();
    }
}

void SampleList::Add(int16_t value, long long ms)
{
    // A list at or past its capacity drops its oldest first.
    while (!values.empty() && static_cast<int>(values.size()) >= capacity) {
        values.pop_back();
        times.pop_back();
    }
    values.push_front(value);
    times.push_front(ms);
}

void SampleList::Clear()
{
    values.clear();
    times.clear();
}

void PlotSamples::SetCapacity(int capacity)
{
    std::lock_guard lock(mutex);
    for (auto& l : lists)
        l.SetCapacity(capacity);
}

void PlotSamples::Clear()
{
    std::lock_guard lock(mutex);
    for (auto& l : lists)
        l.Clear();
    started = false;
}

void PlotSamples::Add(PlotChannel channel, long long value)
{
    const int16_t stored = Low16(value);
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    lists[channel].Add(stored, Since(now));
}

void PlotSamples::AddSample(const std::array<int, kChannels>& raw, Clock::time_point at)
{
    std::array<int16_t, kChannels> stored{};
    for (size_t c = 0; c < kChannels; ++c)
        stored[c] = Stored(static_cast<PlotChannel>(c), raw[c]);
    std::lock_guard lock(mutex);
    const long long ms = Since(at);
    for (size_t c = 0; c < kChannels; ++c)
        lists[c].Add(stored[c], ms);
}

long long PlotSamples::Since(Clock::time_point at)
{
    if (!started) {
        origin = at;
        started = true;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(at - origin).count();
}

void PlotSamples::CopyInto(Snapshot& into, bool times) const
{
    std::lock_guard lock(mutex);
    for (size_t c = 0; c < kChannels; ++c) {
        into.values[c].assign(lists[c].Values().begin(), lists[c].Values().end());
        if (times)
            into.times[c].assign(lists[c].Times().begin(), lists[c].Times().end());
        else
            into.times[c].clear();
    }
}

int16_t PlotSamples::Stored(PlotChannel channel, int v) const
{
    if (channel == kPosition || channel == kTarget)
        return Low16(v * static_cast<long long>(positionFactor));
    return Low16(Centred(v));
}
