#include "plot/PlotSamples.h"

#include "plot/PlotGeometry.h"

namespace {

int16_t Centred(int v, int gain)
{
    // Only the low 16 bits of v count.
    return Low16(static_cast<int16_t>(static_cast<uint16_t>(v)) * static_cast<long long>(gain) + 2000);
}

}  // namespace

PlotValues ToPlotValues(const Feedback& f, const FeedbackScale& scale, int centredGain)
{
    const long long divisor = scale.positionDivisor;
    return {Low16(f.position * divisor),
            Centred(f.load, centredGain),
            Centred(ScaleBySpeedFactor(f.speed, scale.speedFactor), centredGain),
            Low16(f.target * divisor),
            Centred(ScaleBySpeedFactor(f.fastSlow, scale.speedFactor), centredGain),
            Centred(f.current, centredGain)};
}

void ToPlotLists(const FeedbackSamples::Polled& polled, PlotLists& into, bool times)
{
    const size_t n = polled.samples.size();
    for (size_t c = 0; c < kChannels; ++c) {
        into.values[c].resize(n);
        into.times[c].resize(times ? n : 0);
    }
    for (size_t i = 0; i < n; ++i) {
        const SeriesSample& s = polled.samples[n - 1 - i];  // newest first
        const PlotValues v = ToPlotValues(s.sample.values, s.scale);
        const long long ms =
            times ? std::chrono::duration_cast<std::chrono::milliseconds>(s.sample.time - polled.origin).count() : 0;
        for (size_t c = 0; c < kChannels; ++c) {
            into.values[c][i] = v[c];
            if (times)
                into.times[c][i] = ms;
        }
    }
}

PlotLists PollLists(const FeedbackSamples& samples)
{
    FeedbackSamples::Polled polled;
    samples.CopyPolled(polled);
    PlotLists lists;
    ToPlotLists(polled, lists);
    return lists;
}
