// A fast capture's picture: every pixel column keeps the extremes of the samples on it, so a
// spike of one sample among thousands a second stays on the plot, up or down, and a step
// keeps its edge.
#include "plot/CaptureView.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureView, AOneSampleSpikeStaysVisible)
{
    const struct {
        int perSecond;
        int16_t spike;
        double spanUs;
    } cases[] = {{3000, 3900, 10e6}, {3000, -900, 10e6}, {370, 3900, 1.25e6}, {20, -900, 10e6}};
    for (const auto& c : cases) {
        CaptureSamples samples;
        const long long stepUs = 1'000'000 / c.perSecond;
        const long long spikeAt = 3 * c.perSecond / 2;  // 1.5 s in
        for (long long i = 0; i < 2 * c.perSecond; ++i) {
            PlotValues v{};
            v.fill(2000);
            if (i == spikeAt)
                v[kLoad] = c.spike;
            samples.Add(i * stepUs, v);
        }
        CaptureSamples::Frame frame;
        samples.CopyFrame(frame);
        const CaptureView view{510, c.spanUs, 0, frame.newestUs};
        ChannelColumns all;
        Decimate(frame, 1 << kLoad, view, all);
        const std::vector<PlotColumn>& columns = all[kLoad];
        // One column shows the spike; every other one the level around it.
        int withSpike = 0, level = 0;
        for (const PlotColumn& col : columns) {
            if (!col.has)
                continue;
            if (col.values.max == c.spike || col.values.min == c.spike)
                ++withSpike;
            else if (col.values.min == 2000 && col.values.max == 2000)
                ++level;
        }
        EXPECT_EQ(withSpike, 1) << c.perSecond;
        EXPECT_GT(level, 0) << c.perSecond;
    }
}

// The picture's bins folded from the series paint after paint hold what one fold of all the
// answers holds; a capture begun again starts them afresh.
TEST(CaptureView, BinsFoldedInPiecesAreThoseOfOneFold)
{
    FeedbackSamples series;
    const auto start = CaptureSample::Clock::now();
    series.StartCapture(start);
    CaptureSamples pieces;
    auto add = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            CaptureSample s;
            s.answered = i % 7 != 0;
            s.time = start + std::chrono::microseconds(i * 333);
            s.values.position = i % 50 * 40;
            s.values.load = (i * 13) % 200 - 100;
            series.Add(s, SampleKind::Captured);
        }
    };
    for (int piece = 0; piece < 40; ++piece) {
        add(piece * 1'000, (piece + 1) * 1'000);  // 40 paints, past the 10 s the bins hold
        pieces.Fold(series);
    }
    CaptureSamples whole;
    whole.Fold(series);
    CaptureSamples::Frame a, b;
    pieces.CopyFrame(a);
    whole.CopyFrame(b);
    EXPECT_EQ(a.newestUs, b.newestUs);
    const long long oldestMs = a.newestUs / 1000 - CaptureSamples::kBins + 1;
    for (size_t i = 0; i < a.bins.size(); ++i) {
        if (a.bins[i].ms < oldestMs && b.bins[i].ms < oldestMs)
            continue;  // outside the 10 s in both
        ASSERT_EQ(a.bins[i].ms, b.bins[i].ms) << i;
        for (size_t c = 0; c < kChannels; ++c) {
            EXPECT_EQ(a.bins[i].channels[c].min, b.bins[i].channels[c].min) << i;
            EXPECT_EQ(a.bins[i].channels[c].max, b.bins[i].channels[c].max) << i;
        }
    }
    series.StartCapture(start);
    add(0, 3);
    pieces.Fold(series);
    pieces.CopyFrame(a);
    EXPECT_EQ(a.newestUs, 2 * 333);
}

}  // namespace
