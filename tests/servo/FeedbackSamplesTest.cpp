// The feedback sample model: each reader gets every sample once, in order, from where it last
// read; one that fell behind the ring learns how many it missed; a writer and a reader on two
// threads lose and repeat nothing.
#include "servo/FeedbackSamples.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

CaptureSample Numbered(int n)
{
    CaptureSample s;
    s.id = n;
    s.answered = n % 3 != 0;
    s.values.position = n;
    return s;
}

TEST(FeedbackSamples, ReadersGetWhatCameSinceTheirLastRead)
{
    struct Case {
        const char* what;
        size_t capacity;
        std::vector<int> addsBetweenReads;  // samples added before each read
        std::vector<int> firstRead;         // the first sample each read gets; -1 none
        std::vector<long long> missed;
    } cases[] = {
        {"nothing added", 4, {0, 0}, {-1, -1}, {0, 0}},
        {"each read its own", 8, {3, 2, 1}, {0, 3, 5}, {0, 0, 0}},
        {"around the ring", 4, {3, 3, 3}, {0, 3, 6}, {0, 0, 0}},
        {"fell behind", 4, {6, 2, 9}, {2, 6, 13}, {2, 0, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FeedbackSamples samples(c.capacity);
        long long cursor = 0;
        int next = 0;
        for (size_t r = 0; r < c.addsBetweenReads.size(); ++r) {
            for (int i = 0; i < c.addsBetweenReads[r]; ++i)
                samples.Add(Numbered(next++));
            std::vector<CaptureSample> read;
            EXPECT_EQ(samples.ReadSince(cursor, read), c.missed[r]);
            EXPECT_EQ(cursor, next);
            EXPECT_EQ(samples.Count(), next);
            if (c.firstRead[r] < 0) {
                EXPECT_TRUE(read.empty());
                continue;
            }
            ASSERT_EQ(static_cast<int>(read.size()), next - c.firstRead[r]);
            for (size_t i = 0; i < read.size(); ++i) {
                const int n = c.firstRead[r] + static_cast<int>(i);
                EXPECT_EQ(read[i].id, n);
                EXPECT_EQ(read[i].values.position, n);
                EXPECT_EQ(read[i].answered, n % 3 != 0);
            }
        }
    }
}

TEST(FeedbackSamples, TwoReadersAndAWriterOnAnotherThread)
{
    constexpr int kSamples = 20000;
    FeedbackSamples samples(kSamples);
    std::thread writer([&] {
        for (int n = 0; n < kSamples; ++n)
            samples.Add(Numbered(n));
    });
    // Each reader on its own cursor: together they don't take samples from each other.
    long long cursors[2] = {0, 0};
    std::vector<CaptureSample> seen[2];
    while (cursors[0] < kSamples || cursors[1] < kSamples)
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(samples.ReadSince(cursors[r], seen[r]), 0);
    writer.join();
    for (const auto& read : seen) {
        ASSERT_EQ(read.size(), size_t(kSamples));
        for (int n = 0; n < kSamples; ++n)
            ASSERT_EQ(read[static_cast<size_t>(n)].id, n);
    }
}

std::vector<int> PolledIds(const FeedbackSamples& samples)
{
    FeedbackSamples::Polled polled;
    samples.CopyPolled(polled);
    std::vector<int> ids;
    for (const SeriesSample& s : polled.samples)
        ids.push_back(s.sample.id);
    return ids;
}

// The poll's view: the newest answers up to the number shown, those dropped never back; a long
// silence keeps the curve and no more than the readers' window of the silence.
TEST(FeedbackSamples, ThePollsViewKeepsTheNewestAnswersAndNoMore)
{
    FeedbackSamples samples(8);
    samples.SetPollKeep(3);
    int next = 0;
    auto add = [&](int count, bool answered) {
        for (int i = 0; i < count; ++i) {
            CaptureSample s = Numbered(next++);
            s.answered = answered;
            samples.Add(s);
        }
    };
    const struct {
        int keep;  // 0: unchanged
        int answers, silent;
        std::vector<int> shown;
    } steps[] = {
        {0, 5, 0, {2, 3, 4}},
        {5, 0, 0, {2, 3, 4}},
        {0, 1, 0, {2, 3, 4, 5}},
        {2, 0, 0, {4, 5}},
        {5, 0, 0, {4, 5}},
        {0, 0, 1000, {4, 5}},
    };
    for (const auto& step : steps) {
        if (step.keep > 0)
            samples.SetPollKeep(step.keep);
        add(step.answers, true);
        add(step.silent, false);
        EXPECT_EQ(PolledIds(samples), step.shown) << next;
        EXPECT_LE(samples.Held(), 8 + step.shown.size());
    }
    // Cleared, the view starts again; readers that follow go on counting.
    samples.Clear();
    EXPECT_TRUE(PolledIds(samples).empty());
    add(1, true);
    EXPECT_EQ(PolledIds(samples), std::vector<int>{next - 1});
    EXPECT_EQ(samples.Count(), next);
}

// The capture's view: the running capture's answers of its last 10 s (and a second's slack),
// none of the poll's, none of an earlier capture's; the poll's view stays meanwhile.
TEST(FeedbackSamples, TheCapturesViewKeepsItsLastTenSeconds)
{
    FeedbackSamples samples(4);
    samples.Add(Numbered(1));
    const auto start = CaptureSample::Clock::now();
    for (int run = 0; run < 2; ++run) {
        samples.StartCapture(start);
        for (int second = 0; second <= 30; ++second) {
            CaptureSample s = Numbered(100 + second);
            s.answered = true;
            s.time = start + std::chrono::seconds(second);
            samples.Add(s, SampleKind::Captured);
            samples.Add(Numbered(0), SampleKind::Captured);  // without an answer
        }
        FeedbackSamples::Captured captured;
        samples.CopyCaptured(captured);
        ASSERT_EQ(captured.samples.size(), 12u) << run;  // seconds 19 to 30
        EXPECT_EQ(captured.samples.front().sample.id, 119);
        EXPECT_EQ(captured.start, start);
        EXPECT_EQ(PolledIds(samples), std::vector<int>{1});
        EXPECT_LE(samples.Held(), 4u + 12u + 1u);
    }
}

}  // namespace
