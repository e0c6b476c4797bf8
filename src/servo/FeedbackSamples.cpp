#include "servo/FeedbackSamples.h"

#include <algorithm>

namespace {

using Run = std::deque<SeriesSample>;

Run::const_iterator From(const Run& run, long long index)
{
    return std::lower_bound(run.begin(), run.end(), index,
                            [](const SeriesSample& s, long long i) { return s.index < i; });
}

// Slack past the capture's 10 s for sample times that went back: the views cut exactly.
constexpr auto kCaptureSlack = std::chrono::seconds(1);

}  // namespace

FeedbackSamples::FeedbackSamples(size_t c) : capacity(std::max<size_t>(c, 1)) {}

void FeedbackSamples::Add(const CaptureSample& sample, SampleKind kind)
{
    std::lock_guard lock(mutex);
    const SeriesSample s{sample, scale, added++};
    if (!sample.answered) {
        unanswered.push_back(s);
    } else if (kind == SampleKind::Captured) {
        captured.push_back(s);
    } else {
        if (!pollStarted) {
            pollOrigin = sample.time;
            pollStarted = true;
        }
        polled.push_back(s);
        // Past the number shown, the oldest answer shown leaves the views for good.
        if (polled.end() - From(polled, pollFrom) > pollKeep)
            pollFrom = polled[polled.size() - static_cast<size_t>(pollKeep)].index;
    }
    Trim();
}

void FeedbackSamples::Trim()
{
    const long long followed = added - static_cast<long long>(capacity);
    while (!unanswered.empty() && unanswered.front().index < followed)
        unanswered.pop_front();
    while (!polled.empty() && polled.front().index < followed && polled.front().index < pollFrom)
        polled.pop_front();
    if (captured.empty())
        return;
    const auto kept = captured.back().sample.time - std::chrono::microseconds(kCaptureKeptUs) - kCaptureSlack;
    while (!captured.empty() && captured.front().index < followed &&
           (captured.front().index < captureFrom || captured.front().sample.time < kept))
        captured.pop_front();
}

long long FeedbackSamples::ReadSince(long long& cursor, std::vector<CaptureSample>& out) const
{
    std::lock_guard lock(mutex);
    const long long oldest = std::max(0LL, added - static_cast<long long>(capacity));
    const long long from = std::clamp(cursor, oldest, added);
    const long long missed = from - std::min(cursor, from);
    // Every sample a reader may still get stands in one of the three runs: merged by index.
    auto p = From(polled, from), c = From(captured, from), u = From(unanswered, from);
    for (long long n = from; n < added; ++n) {
        if (p != polled.end() && p->index == n)
            out.push_back((p++)->sample);
        else if (c != captured.end() && c->index == n)
            out.push_back((c++)->sample);
        else if (u != unanswered.end() && u->index == n)
            out.push_back((u++)->sample);
    }
    cursor = added;
    return missed;
}

long long FeedbackSamples::Count() const
{
    std::lock_guard lock(mutex);
    return added;
}

size_t FeedbackSamples::Held() const
{
    std::lock_guard lock(mutex);
    return polled.size() + captured.size() + unanswered.size();
}

void FeedbackSamples::SetScale(const FeedbackScale& s)
{
    std::lock_guard lock(mutex);
    scale = s;
}

void FeedbackSamples::SetPollKeep(int count)
{
    std::lock_guard lock(mutex);
    pollKeep = std::max(1, count);
    if (polled.end() - From(polled, pollFrom) > pollKeep)
        pollFrom = polled[polled.size() - static_cast<size_t>(pollKeep)].index;
    Trim();
}

void FeedbackSamples::Clear()
{
    std::lock_guard lock(mutex);
    pollFrom = captureFrom = added;
    pollStarted = false;
    ++generation;
    Trim();
}

void FeedbackSamples::StartCapture(Clock::time_point start)
{
    std::lock_guard lock(mutex);
    captureFrom = added;
    captureStart = start;
    ++generation;
    Trim();
}

void FeedbackSamples::CopyPolled(Polled& into) const
{
    std::lock_guard lock(mutex);
    into.samples.assign(From(polled, pollFrom), polled.end());
    into.origin = pollOrigin;
}

void FeedbackSamples::CopyCaptured(Captured& into, long long from) const
{
    std::lock_guard lock(mutex);
    into.samples.assign(From(captured, std::max(from, captureFrom)), captured.end());
    into.start = captureStart;
    into.generation = generation;
}
