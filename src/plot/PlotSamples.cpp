#include "plot/PlotSamples.h"

#include "plot/PlotGeometry.h"

void SampleList::Add(int16_t value)
{
    // A list at or past its capacity drops its oldest first.
    while (!values.empty() && static_cast<int>(values.size()) >= capacity)
        values.pop_back();
    values.push_front(value);
}

void PlotSamples::SetCapacity(int capacity)
{
    std::lock_guard lock(mutex);
    for (auto& l : lists)
        l.SetCapacity(capacity);
}

void PlotSamples::Add(PlotChannel channel, long long value)
{
    const int16_t stored = Low16(value);
    std::lock_guard lock(mutex);
    lists[channel].Add(stored);
}

void PlotSamples::CopyInto(Snapshot& into) const
{
    std::lock_guard lock(mutex);
    for (size_t c = 0; c < kChannels; ++c)
        into[c].assign(lists[c].Values().begin(), lists[c].Values().end());
}
