#pragma once
// The feedback samples of a servo as its poll or its capture reads them, each with its own
// time: handed over once, on the bus's thread, under a lock held only for that one insertion;
// every view (the plot, the fields, the recording) reads what came since its own last read.
// A ring of fixed size: a reader that falls further behind than that misses the oldest.

#include "servo/FeedbackCapture.h"

#include <cstddef>
#include <mutex>
#include <vector>

class FeedbackSamples {
public:
    // 5 s of a capture at 3,000 samples a second; the window reads every screen frame.
    static constexpr size_t kDefaultCapacity = 16384;

    explicit FeedbackSamples(size_t capacity = kDefaultCapacity);
    FeedbackSamples(const FeedbackSamples&) = delete;
    FeedbackSamples& operator=(const FeedbackSamples&) = delete;

    // One sample in, after those before it.
    void Add(const CaptureSample& sample);
    // The samples added since `cursor` (a count of samples added; 0 at first), oldest first,
    // appended to `out`; `cursor` moves past them. Returns how many of them the ring no longer
    // held (the reader fell behind).
    long long ReadSince(long long& cursor, std::vector<CaptureSample>& out) const;
    // How many samples were ever added: a reader starting here sees only those to come.
    long long Count() const;

private:
    mutable std::mutex mutex;
    std::vector<CaptureSample> ring;  // sample n at n % capacity
    size_t capacity;
    long long added = 0;
};
