#include "servo/FeedbackSamples.h"

#include <algorithm>

FeedbackSamples::FeedbackSamples(size_t c) : capacity(std::max<size_t>(c, 1))
{
    ring.reserve(capacity);  // filled in place: no copies as it grows
}

void FeedbackSamples::Add(const CaptureSample& sample)
{
    std::lock_guard lock(mutex);
    // The ring fills up to its size as samples come, then overwrites its oldest.
    if (ring.size() < capacity)
        ring.push_back(sample);
    else
        ring[static_cast<size_t>(added % static_cast<long long>(capacity))] = sample;
    ++added;
}

long long FeedbackSamples::ReadSince(long long& cursor, std::vector<CaptureSample>& out) const
{
    std::lock_guard lock(mutex);
    const long long oldest = std::max(0LL, added - static_cast<long long>(capacity));
    const long long from = std::clamp(cursor, oldest, added);
    const long long missed = from - std::min(cursor, from);
    for (long long n = from; n < added; ++n)
        out.push_back(ring[static_cast<size_t>(n % static_cast<long long>(capacity))]);
    cursor = added;
    return missed;
}

long long FeedbackSamples::Count() const
{
    std::lock_guard lock(mutex);
    return added;
}
