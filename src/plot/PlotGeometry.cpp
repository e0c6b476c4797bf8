#include "plot/PlotGeometry.h"

PlotGeometry PlotGeometry::ForCanvas(int width, int height)
{
    PlotGeometry g;
    g.canvasWidth = width > 0 ? width : 0;
    g.canvasHeight = height > 0 ? height : 0;
    g.unitsPerValue = static_cast<float>(g.canvasHeight / 4400.0);
    g.labelPointSize = static_cast<int>(g.unitsPerValue * 300 * 4);
    return g;
}

int PlotGeometry::SampleX(int i) const
{
    return Low16(static_cast<long long>(canvasWidth) + horizontalShift -
                 static_cast<long long>(i) * sampleSpacing);
}

int PlotGeometry::ValueY(int p) const
{
    const auto scaled = static_cast<long long>(static_cast<float>(p) * unitsPerValue);
    return Low16(static_cast<long long>(canvasHeight) - scaled - baselineOffset);
}

PlotGeometry::Span PlotGeometry::VisibleSamples(int count) const
{
    auto x = [this](long long i) { return canvasWidth + horizontalShift - i * sampleSpacing; };
    Span s{0, count};
    if (sampleSpacing <= 0)
        return s;
    while (s.first + 1 < count && x(s.first + 1) > canvasWidth)
        ++s.first;  // right of the canvas, and so is the next one
    for (int i = s.first; i < count; ++i)
        if (x(i) < 0) {
            s.end = i + 1;
            break;
        }
    return s;
}

int PlotGeometry::GridStep() const
{
    return static_cast<int>(unitsPerValue * 400.0);
}

std::vector<PlotGeometry::GridLine> PlotGeometry::HorizontalLines() const
{
    std::vector<GridLine> lines;
    const int g = GridStep();
    if (g <= 0)
        return lines;  // a canvas this low has room for no grid
    const int factor = positionFactor != 0 ? positionFactor : 1;
    const int gain = centredGain != 0 ? centredGain : 1;
    for (int k = 0; k * g < canvasHeight; ++k) {
        GridLine line;
        line.y = canvasHeight - baselineOffset - k * g;
        line.value = 400 * k;
        line.leftLabel = std::to_string(line.value / factor);
        line.rightLabel = std::to_string((line.value - 2000) / gain);
        const int f = line.value < 500 ? 80 : line.value < 1000 ? 70 : 75;
        line.leftX = 0;
        line.rightX = canvasWidth - f;
        line.labelY = line.y - 40;
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<int> PlotGeometry::VerticalLines() const
{
    std::vector<int> xs;
    const long long step = static_cast<long long>(sampleSpacing) * 10;
    if (step <= 0)
        return xs;
    for (long long j = 0; j * step < canvasWidth; ++j)
        xs.push_back(static_cast<int>(canvasWidth - j * step));
    return xs;
}
