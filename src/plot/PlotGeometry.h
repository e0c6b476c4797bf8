#pragma once
// Where the curve plot puts things on its canvas (pixels of 0.1 mm, y growing downward):
// samples, values, grid lines and their labels, and how many samples a list keeps. Plain
// arithmetic, shared by the widget that draws and the tests that check it.

#include <cstdint>
#include <string>
#include <vector>

// Plot values and coordinates keep the low 16 bits of their arithmetic, as stored.
inline int16_t Low16(long long v)
{
    return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF));
}

struct PlotGeometry {
    int canvasWidth = 0;
    int canvasHeight = 0;
    float unitsPerValue = 0;
    int labelPointSize = 0;  // tenths of a point
    int baselineOffset = 25;
    int centredGain = 2;
    int positionFactor = 1;
    int sampleSpacing = 8;
    int horizontalShift = 0;

    // The canvas of a client area `width` × `height` in 0.1 mm.
    static PlotGeometry ForCanvas(int width, int height);

    // Samples each list keeps.
    int Capacity() const { return canvasWidth / 8; }
    // x of sample i, the newest being 0.
    int SampleX(int i) const;
    // y of plot value p.
    int ValueY(int p) const;
    // The samples of a list of `count` that a curve needs: those on the canvas and one
    // neighbour beyond each edge, as [first, end). Found without the 16-bit wrap, so a long
    // list on a wide canvas never folds back onto it.
    struct Span {
        int first = 0, end = 0;
    };
    Span VisibleSamples(int count) const;
    // Canvas units between horizontal grid lines; 0 on a canvas lower than 11 units.
    int GridStep() const;

    struct GridLine {
        int y = 0;
        int value = 0;  // plot value of the line
        std::string leftLabel, rightLabel;
        int leftX = 0, rightX = 0, labelY = 0;  // top left corners of the labels
    };
    // The horizontal lines from the bottom up; none when the grid step is 0.
    std::vector<GridLine> HorizontalLines() const;
    // x of the vertical lines, from the right edge leftward.
    std::vector<int> VerticalLines() const;
};
