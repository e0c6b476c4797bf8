#include "plot/StepPlotGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>

double RoundStep(double low, double high, int most)
{
    const double span = std::abs(high - low);
    most = std::max(1, most);
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double least = span / most;
    double decade = std::pow(10.0, std::floor(std::log10(least)));
    for (;; decade *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (m * decade >= least * (1 - 1e-9))
                return m * decade;
}

std::vector<double> Ticks(double low, double high, double step)
{
    std::vector<double> ticks;
    if (!(step > 0) || high < low)
        return ticks;
    // Counted in whole steps, so no rounding error piles up along the axis.
    const long long first = static_cast<long long>(std::ceil(low / step - 1e-9));
    const long long last = static_cast<long long>(std::floor(high / step + 1e-9));
    for (long long k = first; k <= last && ticks.size() < 1000; ++k)
        ticks.push_back(static_cast<double>(k) * step);
    return ticks;
}

std::pair<double, double> FitValues(double low, double high, int most)
{
    if (!(low <= high))
        return {0, 20};
    if (high - low < 1) {
        low -= 10;
        high += 10;
    }
    const double margin = (high - low) / 20;
    low -= margin;
    high += margin;
    const double step = RoundStep(low, high, most);
    return {std::floor(low / step) * step, std::ceil(high / step) * step};
}

void ColumnPoints(const std::vector<StepPoint>& samples, const StepAxes& axes,
                  std::vector<std::pair<double, double>>& out)
{
    out.clear();
    // The samples within the span and one on either side of it.
    const auto after = [](double ms) { return [ms](const StepPoint& p) { return p.ms <= ms; }; };
    size_t first = static_cast<size_t>(std::partition_point(samples.begin(), samples.end(), after(axes.fromMs)) -
                                       samples.begin());
    first = first > 0 ? first - 1 : 0;
    size_t end = static_cast<size_t>(std::partition_point(samples.begin() + static_cast<long>(first), samples.end(),
                                                          after(axes.toMs)) - samples.begin());
    end = std::min(samples.size(), end + 1);
    auto point = [&](size_t i) { return std::pair{axes.X(samples[i].ms), axes.Y(samples[i].value)}; };
    const double msPerPixel = (axes.toMs - axes.fromMs) / axes.width;
    size_t i = first;
    while (i < end) {
        // The samples before the time where the next pixel column begins share this one.
        const double column = std::floor(axes.X(samples[i].ms));
        const double nextMs = axes.fromMs + (column + 1 - axes.left) * msPerPixel;
        size_t least = i, greatest = i, last = i;
        for (size_t j = i + 1; j < end && samples[j].ms < nextMs; ++j) {
            if (samples[j].value < samples[least].value)
                least = j;
            if (samples[j].value > samples[greatest].value)
                greatest = j;
            last = j;
        }
        // A point less than half a pixel from the one before it on the same column adds nothing
        // a screen shows.
        const std::array<size_t, 4> picked = {i, std::min(least, greatest), std::max(least, greatest), last};
        out.push_back(point(i));
        for (size_t k = 1; k < picked.size(); ++k) {
            const auto p = point(picked[k]);
            if (picked[k] != picked[k - 1] && std::abs(p.second - out.back().second) >= 0.5)
                out.push_back(p);
        }
        i = last + 1;
    }
    // A flat stretch (within a quarter pixel of its first point) is one segment: a settled run
    // costs a paint two points, not one a column.
    size_t kept = 0;
    for (size_t k = 0; k < out.size(); ++k) {
        const bool flat = kept > 0 && k + 1 < out.size() &&
                          std::abs(out[k].second - out[kept - 1].second) <= 0.25 &&
                          std::abs(out[k + 1].second - out[kept - 1].second) <= 0.25;
        if (!flat)
            out[kept++] = out[k];
    }
    out.resize(kept);
}
