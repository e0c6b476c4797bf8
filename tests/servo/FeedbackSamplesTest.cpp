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

}  // namespace
