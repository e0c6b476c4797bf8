// The plot's canvas arithmetic: list capacity, where samples, values and grid lines fall,
// the labels, and the 16-bit storage of plot values.
#include "plot/PlotGeometry.h"
#include "plot/PlotSamples.h"

#include <gtest/gtest.h>

namespace {

PlotGeometry Canvas(int width, int height, int spacing = 8, int shift = 0)
{
    PlotGeometry g = PlotGeometry::ForCanvas(width, height);
    g.sampleSpacing = spacing;
    g.horizontalShift = shift;
    return g;
}

TEST(PlotGeometry, CapacityAndTheLastSampleOnTheCanvas)
{
    struct Case {
        int spacing, shift;
        int lastInside;  // the oldest sample with x >= 0
        int lastBeyondRightEdge;  // the oldest sample with x >= canvasWidth, -1 for none
    } cases[] = {
        {8, 0, 424, 0},
        {64, 0, 53, 0},
        {8, 2000, 424, 250},
    };
    for (const auto& c : cases) {
        const PlotGeometry g = Canvas(3400, 1500, c.spacing, c.shift);
        EXPECT_EQ(g.Capacity(), 425);
        int inside = -1, beyond = -1;
        for (int i = 0; i < g.Capacity(); ++i) {
            if (g.SampleX(i) >= 0)
                inside = i;
            if (g.SampleX(i) >= g.canvasWidth)
                beyond = i;
        }
        EXPECT_EQ(inside, c.lastInside) << c.spacing << " " << c.shift;
        EXPECT_EQ(beyond, c.lastBeyondRightEdge) << c.spacing << " " << c.shift;
    }
    EXPECT_EQ(Canvas(3400, 1500).SampleX(0), 3400);
    EXPECT_EQ(Canvas(3400, 1500).SampleX(424), 8);  // a full list spans the width
}

TEST(PlotGeometry, ValuesOnTheGrid)
{
    for (int height : {4400, 1100, 661}) {
        const PlotGeometry g = Canvas(3400, height);
        const auto lines = g.HorizontalLines();
        ASSERT_GE(lines.size(), 6u) << height;
        // Load 0 (plot value 2000) on the sixth line from the bottom, load -1000 on the bottom.
        EXPECT_EQ(g.ValueY(0 * 2 + 2000), lines[5].y) << height;
        EXPECT_EQ(lines[5].rightLabel, "0");
        EXPECT_EQ(g.ValueY(-1000 * 2 + 2000), lines[0].y) << height;
        EXPECT_EQ(lines[0].y, height - 25);
    }
    // 2047 × 1 and 511 × 4 lie within a unit of each other.
    const PlotGeometry g = Canvas(3400, 1500);
    EXPECT_LE(std::abs(g.ValueY(2047) - g.ValueY(511 * 4)), 1);
    EXPECT_EQ(g.ValueY(2047), 1500 - static_cast<int>(2047 * (1500 / 4400.0f)) - 25);
}

TEST(PlotGeometry, LabelsOfTheBottomLines)
{
    PlotGeometry g = Canvas(3400, 4400);
    struct Case {
        int line, y;
        const char* left;
        const char* right;
        int rightX;
    } cases[] = {
        {0, 4375, "0", "-1000", 3320}, {1, 3975, "400", "-800", 3320},
        {2, 3575, "800", "-600", 3330}, {3, 3175, "1200", "-400", 3325},
        {5, 2375, "2000", "0", 3325},
    };
    const auto lines = g.HorizontalLines();
    ASSERT_EQ(lines.size(), 11u);  // k × 400 < 4400
    for (const auto& c : cases) {
        const auto& l = lines[static_cast<size_t>(c.line)];
        EXPECT_EQ(l.y, c.y);
        EXPECT_EQ(l.leftLabel, c.left);
        EXPECT_EQ(l.rightLabel, c.right);
        EXPECT_EQ(l.leftX, 0);
        EXPECT_EQ(l.rightX, c.rightX);
        EXPECT_EQ(l.labelY, c.y - 40);
    }
    // A position factor divides the left scale only, toward zero.
    g.positionFactor = 3;
    EXPECT_EQ(g.HorizontalLines()[1].leftLabel, "133");
    EXPECT_EQ(g.HorizontalLines()[1].rightLabel, "-800");
}

TEST(PlotGeometry, LowCanvasHasNoHorizontalGrid)
{
    for (int height : {0, 1, 10}) {
        const PlotGeometry g = Canvas(3400, height);
        EXPECT_EQ(g.GridStep(), 0);
        EXPECT_TRUE(g.HorizontalLines().empty()) << height;
    }
    EXPECT_EQ(Canvas(3400, 12).HorizontalLines().size(), 12u);  // step 1
}

TEST(PlotGeometry, VerticalLinesFollowTheSpacingNotTheShift)
{
    const std::vector<int> at8 = Canvas(400, 100, 8, 0).VerticalLines();
    EXPECT_EQ(at8, (std::vector<int>{400, 320, 240, 160, 80}));
    EXPECT_EQ(Canvas(400, 100, 8, 1500).VerticalLines(), at8);
    EXPECT_EQ(Canvas(400, 100, 64, 0).VerticalLines(), (std::vector<int>{400}));
}

TEST(PlotGeometry, CurvesDrawOnlyTheSamplesOnTheCanvasAndNeverFoldBack)
{
    // 750 samples 64 apart run 48000 units left, past the 16-bit wrap: those after the
    // first one beyond the left edge are not drawn.
    EXPECT_EQ(Canvas(6000, 100, 64, 0).VisibleSamples(750).end, 95);
    const auto shifted = Canvas(3400, 100, 8, 2000).VisibleSamples(425);
    EXPECT_EQ(shifted.first, 249);  // 0..249 lie right of the canvas, 250 on its edge
    EXPECT_EQ(shifted.end, 425);
}

TEST(PlotGeometry, CanvasFromTheClientArea)
{
    const PlotGeometry g = PlotGeometry::ForCanvas(3400, 1100);
    EXPECT_FLOAT_EQ(g.unitsPerValue, 0.25f);
    EXPECT_EQ(g.labelPointSize, 300);
    EXPECT_EQ(g.GridStep(), 100);
}

TEST(PlotSamples, ListsDropTheirOldestWhenFull)
{
    PlotSamples s;
    s.SetCapacity(3400 / 8);
    for (int i = 0; i < 426; ++i)
        s.AddLoadSample(i);
    const auto lists = s.Copy();
    ASSERT_EQ(lists[kLoad].size(), 425u);
    EXPECT_EQ(lists[kLoad].front(), 425 * 2 + 2000);  // newest first
    EXPECT_EQ(lists[kLoad].back(), 1 * 2 + 2000);     // sample 0 dropped
    EXPECT_TRUE(lists[kPosition].empty());
}

TEST(PlotSamples, StoredValuesKeepTheirLow16Bits)
{
    PlotSamples s;
    s.SetCapacity(10);
    s.positionFactor = 4;
    s.AddPositionSample(511);
    s.AddPositionSample(20000);    // 80000 wraps
    s.AddTargetSample(-9000);      // -36000 wraps
    s.AddLoadSample(20000);        // 42000 wraps
    s.AddSpeedSample(-1000);       // 0: the bottom line
    s.AddCurrentSample(0x12345);   // only 0x2345 counts
    s.AddFastSlowSample(-16000);   // -30000
    const auto l = s.Copy();
    EXPECT_EQ(l[kPosition], (std::vector<int16_t>{14464, 2044}));
    EXPECT_EQ(l[kTarget], (std::vector<int16_t>{29536}));
    EXPECT_EQ(l[kLoad], (std::vector<int16_t>{-23536}));
    EXPECT_EQ(l[kSpeed], (std::vector<int16_t>{0}));
    EXPECT_EQ(l[kCurrent], (std::vector<int16_t>{static_cast<int16_t>(0x2345 * 2 + 2000)}));
    EXPECT_EQ(l[kFastSlow], (std::vector<int16_t>{-30000}));
    // 16-bit coordinates too.
    PlotGeometry g = Canvas(30000, 100, 8, 10000);
    EXPECT_EQ(g.SampleX(0), 40000 - 65536);
}

}  // namespace
