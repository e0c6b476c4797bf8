// The figures of a step response, from its samples alone.
#include "servo/StepTest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The time at which the line from sample a to sample b crosses `level` (values v(a), v(b)).
double Crossing(const StepSample& a, const StepSample& b, double va, double vb, double level)
{
    if (vb == va)
        return b.ms;
    const double f = std::clamp((level - va) / (vb - va), 0.0, 1.0);
    return a.ms + f * (b.ms - a.ms);
}

}  // namespace

int StepBand(int start, int target)
{
    const double share = std::abs(static_cast<double>(target) - start) * 0.02;
    return std::max(2, static_cast<int>(std::lround(share)));
}

StepFigures ComputeStepFigures(const std::vector<StepSample>& all, int start, int target)
{
    StepFigures f;
    f.start = start;
    f.target = target;
    f.band = StepBand(start, target);
    std::vector<StepSample> s;
    for (const StepSample& x : all)
        if (x.answered)
            s.push_back(x);
    if (s.empty())
        return f;

    for (const StepSample& x : s) {
        f.peakLoad = std::max(f.peakLoad, std::abs(x.values.load));
        f.peakCurrent = std::max(f.peakCurrent, std::abs(x.values.current));
        if (std::abs(x.values.position - target) <= f.band)
            f.reached = true;
    }
    const size_t tail = std::max<size_t>(1, s.size() / 10);
    double sum = 0;
    for (size_t i = s.size() - tail; i < s.size(); ++i)
        sum += s[i].values.position;
    f.steadyError = sum / static_cast<double>(tail) - target;

    const double step = static_cast<double>(target) - start;
    // The response as a share of the step: 0 at the start, 1 at the target.
    auto share = [&](const StepSample& x) { return step != 0 ? (x.values.position - start) / step : 0.0; };
    auto off = [&](const StepSample& x) { return std::abs(static_cast<double>(x.values.position) - start); };

    // Dead time: until the position first leaves the start's band.
    if (off(s.front()) > f.band)
        f.deadMs = s.front().ms;
    for (size_t i = 1; i < s.size() && std::isnan(f.deadMs); ++i)
        if (off(s[i]) > f.band)
            f.deadMs = Crossing(s[i - 1], s[i], off(s[i - 1]), off(s[i]), f.band);

    if (step != 0) {
        double t10 = StepFigures::kNone, t90 = StepFigures::kNone, peak = share(s.front());
        for (size_t i = 0; i < s.size(); ++i) {
            const double y = share(s[i]);
            peak = std::max(peak, y);
            const double previous = i > 0 ? share(s[i - 1]) : y;
            if (std::isnan(t10) && y >= 0.1)
                t10 = i > 0 ? Crossing(s[i - 1], s[i], previous, y, 0.1) : s[i].ms;
            if (std::isnan(t90) && y >= 0.9)
                t90 = i > 0 ? Crossing(s[i - 1], s[i], previous, y, 0.9) : s[i].ms;
        }
        f.riseMs = t90 - t10;  // NaN when either was never crossed
        f.overshootPct = std::max(0.0, (peak - 1) * 100);
    }

    // Settling: from the command until the last time the position was outside the band.
    auto error = [&](const StepSample& x) { return std::abs(static_cast<double>(x.values.position) - target); };
    size_t lastOut = s.size();
    for (size_t i = s.size(); i-- > 0;)
        if (error(s[i]) > f.band) {
            lastOut = i;
            break;
        }
    if (lastOut == s.size()) {
        f.settled = true;
        f.settlingMs = 0;
    } else if (lastOut + 1 < s.size()) {
        f.settled = true;
        f.settlingMs = Crossing(s[lastOut], s[lastOut + 1], error(s[lastOut]), error(s[lastOut + 1]), f.band);
    }
    return f;
}

std::string StepFigureText(double value)
{
    if (std::isnan(value))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}
