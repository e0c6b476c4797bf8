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
    if (!started) {
        origin = now;
        started = true;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - origin).count();
    lists[channel].Add(stored, ms);
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
