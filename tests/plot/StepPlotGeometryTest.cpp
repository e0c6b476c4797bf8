// The step plot's arithmetic: round ticks, a value range that shows every run, and runs cut to
// their pixel columns without losing a spike or the line's ends.
#include "plot/StepPlotGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

TEST(StepPlotGeometry, RoundTicksAndFittedRange)
{
    const struct {
        double low, high;
        int most;
        double step;
        size_t ticks;
    } cases[] = {{0, 1000, 8, 200, 6}, {1480, 2620, 8, 200, 6}, {0, 3000, 10, 500, 7},
                 {5, 5, 5, 1, 1},  {-35, 40, 4, 20, 4}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(RoundStep(c.low, c.high, c.most), c.step) << c.low << ".." << c.high;
        EXPECT_EQ(Ticks(c.low, c.high, c.step).size(), c.ticks) << c.low << ".." << c.high;
    }
    // Everything inside, the ends on whole steps.
    const auto [low, high] = FitValues(1490, 2630, 8);
    const double step = RoundStep(low, high, 8);
    EXPECT_LE(low, 1490);
    EXPECT_GE(high, 2630);
    EXPECT_DOUBLE_EQ(low, std::floor(low / step) * step);
    EXPECT_DOUBLE_EQ(high, std::ceil(high / step) * step);
    const auto flat = FitValues(700, 700, 8);
    EXPECT_LT(flat.first, 700);
    EXPECT_GT(flat.second, 700);
}

TEST(StepPlotGeometry, ColumnsKeepSpikesAndEnds)
{
    // 3.3 s at 3,000 samples a second, from 0.1 s before the step, with a one-sample spike.
    std::vector<StepPoint> samples;
    for (int i = -300; i < 9900; ++i)
        samples.push_back({i / 3.0, i == 4500 ? 3900 : 2000 + (i > 0 ? 500 : 0)});
    StepAxes axes;
    axes.left = 40;
    axes.width = 600;
    axes.height = 300;
    axes.toMs = 3000;
    axes.low = 0;
    axes.high = 4000;
    std::vector<std::pair<double, double>> points;
    ColumnPoints(samples, axes, points);
    // Flat but for the step and the spike: a handful of points.
    EXPECT_LE(points.size(), 12u);
    // Time goes forward; the line starts at or before the left edge and ends at or past the
    // right one, with at most one point beyond each.
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end()));
    EXPECT_LE(points.front().first, axes.left);
    EXPECT_GT(points[1].first, axes.left - 1);
    EXPECT_GE(points.back().first, axes.left + axes.width);
    EXPECT_LT(points[points.size() - 2].first, axes.left + axes.width + 1);
    const auto top = std::min_element(points.begin(), points.end(),
                                      [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_DOUBLE_EQ(top->second, axes.Y(3900));
    EXPECT_NEAR(top->first, axes.X(1500), 1);
}
