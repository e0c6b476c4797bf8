#pragma once
// The debug page's one series of feedback samples, in raw units, as its poll or its capture
// reads them: each with its own time and the scale of the servo it was read from, handed over
// once, on the bus's thread, under a lock held only for that one insertion. Every view reads
// it: the fields and the recording what came since their own last read; the plot (converting
// when it draws) and its CSV exports the poll's newest answers or the capture's last 10 s.
// Bounded: the newest `capacity` samples for readers that follow (one that falls further
// behind misses the oldest), beside them the poll's newest answers the plot shows and the
// last capture's last 10 s; nothing older stays.

#include "servo/FeedbackCapture.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

// How the selected servo's debug row scales its readings for the plot: positions by the
// divisor, speeds by the speed factor in tenths.
struct FeedbackScale {
    int positionDivisor = 1;
    int speedFactor = 10;
};

enum class SampleKind : uint8_t { Polled, Captured };

struct SeriesSample {
    CaptureSample sample;
    FeedbackScale scale;  // in force when it was handed over
    long long index = 0;  // its place in the series: samples added before it
};

class FeedbackSamples {
public:
    using Clock = CaptureSample::Clock;
    // 5 s of a capture at 3,000 samples a second; the window reads every screen frame.
    static constexpr size_t kDefaultCapacity = 16384;
    // What a capture keeps, counted back from its newest sample.
    static constexpr long long kCaptureKeptUs = 10'000'000;

    explicit FeedbackSamples(size_t capacity = kDefaultCapacity);
    FeedbackSamples(const FeedbackSamples&) = delete;
    FeedbackSamples& operator=(const FeedbackSamples&) = delete;

    // One sample in, after those before it.
    void Add(const CaptureSample& sample, SampleKind kind = SampleKind::Polled);
    // The samples added since `cursor` (a count of samples added; 0 at first), oldest first,
    // appended to `out`; `cursor` moves past them. Returns how many of them the series no
    // longer held for readers that follow (the reader fell behind).
    long long ReadSince(long long& cursor, std::vector<CaptureSample>& out) const;
    // How many samples were ever added: a reader starting here sees only those to come.
    long long Count() const;
    // How many samples the series holds now: its memory.
    size_t Held() const;

    // The scale of the samples added from now on.
    void SetScale(const FeedbackScale& scale);
    // How many of the poll's answers the views show (at least one). Fewer than shown drops the
    // oldest for good; more lets the answers to come add up to it.
    void SetPollKeep(int count);
    // The views start empty: the poll's answers and the capture's samples so far go (readers
    // that follow are not affected), and the poll's time counts from its next answer.
    void Clear();
    // A capture begins at `start`: its samples count their time from there; the samples of an
    // earlier capture go.
    void StartCapture(Clock::time_point start);

    // The poll's answers the views show, oldest first, and the time of the first answer
    // since the series began or was last cleared.
    struct Polled {
        std::vector<SeriesSample> samples;
        Clock::time_point origin;
    };
    void CopyPolled(Polled& into) const;
    // The last capture's answers from index `from` on (all of them from 0), oldest first;
    // `generation` changes whenever a capture begins or the series is cleared.
    struct Captured {
        std::vector<SeriesSample> samples;
        Clock::time_point start;
        unsigned long long generation = 0;
    };
    void CopyCaptured(Captured& into, long long from = 0) const;

private:
    // Under the lock: drops what no view and no reader that follows may still need.
    void Trim();

    mutable std::mutex mutex;
    size_t capacity;
    long long added = 0;
    FeedbackScale scale;
    // Three runs, each in the order added and trimmed from its front: the poll's answers, the
    // capture's answers, and the samples without an answer (for readers that follow only).
    std::deque<SeriesSample> polled;
    std::deque<SeriesSample> captured;
    std::deque<SeriesSample> unanswered;
    int pollKeep = 1;
    long long pollFrom = 0;  // the first index the poll's views show
    bool pollStarted = false;
    Clock::time_point pollOrigin;
    long long captureFrom = 0;  // the first index of the last capture
    Clock::time_point captureStart;
    unsigned long long generation = 1;
};
