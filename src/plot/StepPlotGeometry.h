#pragma once
// Where the step test's overlaid runs fall on its plot: time since the step along x, position
// along y, round ticks on both axes, and each run's samples cut down to what its pixel columns
// show (the first, least, greatest and last sample of each column, in the order they came), so
// that a 3 s run read 3,000 times a second costs a paint no more points than the plot is wide
// and a one-sample spike still shows. Plain arithmetic in pixels, for the widget and its tests.

#include <utility>
#include <vector>

// One sample of a run: milliseconds since the step was sent, and the value read.
struct StepPoint {
    double ms = 0;
    int value = 0;
};

struct StepAxes {
    // The plot area, in pixels.
    double left = 0, top = 0, width = 1, height = 1;
    // Time across the area, and the values at its bottom and top edges.
    double fromMs = 0, toMs = 1;
    double low = 0, high = 1;

    double X(double ms) const { return left + (ms - fromMs) * width / (toMs - fromMs); }
    double Y(double value) const { return top + (high - value) * height / (high - low); }
};

// The smallest step of 1, 2 or 5 × 10^k that puts at most `most` ticks between `low` and
// `high` (at least 1).
double RoundStep(double low, double high, int most);
// The multiples of `step` from `low` to `high`, both included.
std::vector<double> Ticks(double low, double high, double step);

// The value range that shows everything from `least` to `greatest` (every sample of the runs,
// the start, the target) with a margin of a twentieth of the span on either side, widened to
// whole multiples of the round step for at most `most` ticks. A range without span gets one
// of 20 around its value.
std::pair<double, double> FitValues(double least, double greatest, int most);

// The points that draw `samples` (in time order) on `axes`: for each pixel column the first,
// least, greatest and last sample on it in the order they came, less those within half a pixel
// of the point before them on the column; a flat stretch (within a quarter pixel of its first
// point) only by its ends. Samples outside the time span are dropped except one on either
// side, so the line reaches the edge.
void ColumnPoints(const std::vector<StepPoint>& samples, const StepAxes& axes,
                  std::vector<std::pair<double, double>>& out);
