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
    FeedbackSamples series;
    series.SetPollKeep(3400 / 8);
    for (int i = 0; i < 426; ++i) {
        CaptureSample s;
        s.answered = true;
        s.values.load = i;
        series.Add(s);
    }
    const auto lists = PollLists(series);
    ASSERT_EQ(lists[kLoad].size(), 425u);
    EXPECT_EQ(lists[kLoad].front(), 425 * 2 + 2000);  // newest first
    EXPECT_EQ(lists[kLoad].back(), 1 * 2 + 2000);     // sample 0 dropped
    EXPECT_EQ(lists[kPosition].size(), 425u);         // every channel of every answer
}

TEST(PlotSamples, PlotValuesKeepTheirLow16Bits)
{
    const struct {
        FeedbackScale scale;
        int position, load, speed, target, fastSlow, current;
        PlotValues plotted;
    } cases[] = {
        // 80000, -36000 and 42000 wrap; a speed of -1000 is the bottom line; only 0x2345 counts.
        {{4, 10}, 511, 20000, -1000, -9000, -16000, 0x12345,
         {2044, -23536, 0, 29536, -30000, static_cast<int16_t>(0x2345 * 2 + 2000)}},
        {{4, 10}, 20000, 0, 0, 0, 0, 0, {14464, 2000, 2000, 0, 2000, 2000}},
        // Speed and fast/slow × 5 / 10, truncating: -15 gives -7.
        {{1, 5}, 0, 0, -15, 0, -15, 0, {0, 2000, 1986, 0, 1986, 2000}},
    };
    for (const auto& c : cases) {
        Feedback f;
        f.position = c.position;
        f.load = c.load;
        f.speed = c.speed;
        f.target = c.target;
        f.fastSlow = c.fastSlow;
        f.current = c.current;
        EXPECT_EQ(ToPlotValues(f, c.scale), c.plotted) << c.position;
    }
    // 16-bit coordinates too.
    PlotGeometry g = Canvas(30000, 100, 8, 10000);
    EXPECT_EQ(g.SampleX(0), 40000 - 65536);
}

}  // namespace
