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

}  // namespace
