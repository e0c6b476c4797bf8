// The plot widget on the offscreen platform: what a paint puts on the window, judged by the
// pixels of a grabbed image.
#include "plot/CPIC.h"

#include <QApplication>
#include <QTest>

#include <algorithm>

namespace {

// Pixels clearly of a colour: strong in `on` channels, weak in the others.
int CountColour(const QImage& image, bool red, bool green, bool blue)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const bool r = c.red() > 150, g = c.green() > 150, b = c.blue() > 150;
            const bool rl = c.red() < 100, gl = c.green() < 100, bl = c.blue() < 100;
            if ((red ? r : rl) && (green ? g : gl) && (blue ? b : bl))
                ++n;
        }
    return n;
}

// A plot and the series it draws.
struct Plot {
    Plot() { plot.SetSeries(&series); }
    FeedbackSamples series;
    CPIC plot;
};

void Add(FeedbackSamples& series, int position, int load = 0, int speed = 0, int target = 0,
         int fastSlow = 0, int current = 0)
{
    series.Add({0, true, {}, {position, speed, load, 0, 0, 0, 0, target, current, fastSlow}});
}

void Fill(FeedbackSamples& series, int count)
{
    for (int i = 0; i < count; ++i)
        Add(series, 1000 + i * 5, 300, -300, 3000, 100, -600);
}

}  // namespace

class CPICTest : public QObject {
    Q_OBJECT
private slots:
    void allBoxesClearLeaveOnlyTheGrid()
    {
        CPIC empty;
        empty.InitCanvas();
        empty.resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        const QImage grid = empty.grab().toImage();

        Plot p;
        CPIC& plot = p.plot;
        plot.InitCanvas();
        plot.resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        Fill(p.series, 500);
        plot.channelMask = 0;
        QCOMPARE(plot.grab().toImage(), grid);

        // The grid itself: white ground, dark lines, no colour.
        QVERIFY(CountColour(grid, true, true, true) > grid.width() * grid.height() / 2);
        int grey = 0;
        for (int y = 0; y < grid.height(); ++y)
            for (int x = 0; x < grid.width(); ++x)
                grey += grid.pixelColor(x, y).red() < 220 ? 1 : 0;
        QVERIFY(grey > 2000);
        QCOMPARE(CountColour(grid, true, false, false), 0);

        // Each ticked channel shows in its colour, the others don't.
        struct Case {
            int mask;
            bool r, g, b;
        } cases[] = {{0x02, true, false, false}, {0x04, false, true, false},
                     {0x08, false, false, true}, {0x10, true, true, false},
                     {0x20, false, true, true}};
        for (const auto& c : cases) {
            plot.channelMask = c.mask;
            const QImage shown = plot.grab().toImage();
            QVERIFY2(CountColour(shown, c.r, c.g, c.b) > 50, qPrintable(QString::number(c.mask)));
            QCOMPARE(CountColour(shown, true, false, false) > 0, c.mask == 0x02);
        }
    }

    void theCanvasKeepsItsSizeWhenTheWindowGrows()
    {
        Plot p;
        CPIC& plot = p.plot;
        plot.InitCanvas();
        const int canvas = plot.Geometry().canvasWidth;
        plot.resize(900, 500);
        Fill(p.series, 10);
        const QImage shown = plot.grab().toImage();
        QCOMPARE(shown.size(), QSize(900, 500));
        QCOMPARE(plot.Geometry().canvasWidth, canvas);
        // 510 pixels in 0.1 mm at the screen's resolution.
        QCOMPARE(plot.Geometry().canvasWidth,
                 static_cast<int>(CPIC::kDefaultWidth * 254.0 / plot.logicalDpiX()));
        QCOMPARE(plot.Geometry().Capacity(), plot.Geometry().canvasWidth / 8);
    }

    void aShownPlotFollowsItsWindowAndKeepsItsSamples()
    {
        Plot p;
        CPIC& plot = p.plot;
        plot.InitCanvas();
        plot.resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        plot.channelMask = 0x01;
        const auto add = [&](int n) {
            for (int i = 0; i < n; ++i)
                Add(p.series, 1500 + i % 100 * 10);
        };
        add(1000);
        const auto units = [&](int px) { return static_cast<int>(px * 254.0 / plot.logicalDpiX()); };
        // Larger: the lists keep what they hold and may grow to the new width; smaller: they
        // keep their newest samples. The grid's arithmetic follows the new canvas.
        const struct {
            QSize size;
            int added;
        } steps[] = {{{1020, 500}, 0}, {{1020, 500}, 1000}, {{300, 150}, 0}, {{510, 250}, 0}};
        for (const auto& step : steps) {
            const auto before = PollLists(p.series)[kPosition];
            plot.resize(step.size);
            QTRY_COMPARE(plot.Geometry().canvasWidth, units(step.size.width()));
            add(step.added);
            const PlotGeometry& g = plot.Geometry();
            const PlotGeometry expected = PlotGeometry::ForCanvas(units(step.size.width()),
                                                                  units(step.size.height()));
            QCOMPARE(g.canvasHeight, expected.canvasHeight);
            QCOMPARE(g.unitsPerValue, expected.unitsPerValue);
            // Labels follow a smaller plot and keep the default size on a larger one.
            const int standard = PlotGeometry::ForCanvas(0, units(CPIC::kDefaultHeight)).labelPointSize;
            QCOMPARE(g.labelPointSize, std::min(expected.labelPointSize, standard));
            QCOMPARE(g.Capacity(), g.canvasWidth / 8);
            const auto after = PollLists(p.series)[kPosition];
            const size_t kept = std::min(before.size() + step.added, size_t(g.Capacity()));
            QCOMPARE(after.size(), kept);
            if (step.added == 0)
                QVERIFY(std::equal(after.begin(), after.end(), before.begin()));
            // The newest sample stands at the window's right edge, in the window's scale.
            const QImage shown = plot.grab().toImage();
            QCOMPARE(shown.size(), step.size);
            const int y = g.ValueY(after.front()) * step.size.height() / g.canvasHeight;
            QVERIFY(y > 2 && y < step.size.height() - 2);
            int darkest = 255;
            for (int dx = 2; dx <= 4; ++dx)
                for (int dy = -2; dy <= 2; ++dy)
                    darkest = std::min(darkest,
                                       shown.pixelColor(step.size.width() - dx, y + dy).lightness());
            QVERIFY(darkest < 100);
        }
    }

    void aCurveIsDrawnNewestAtTheRightEdge()
    {
        Plot p;
        CPIC& plot = p.plot;
        plot.resize(CPIC::kDefaultWidth, CPIC::kDefaultHeight);
        plot.InitCanvas();
        plot.channelMask = 0x01;
        Add(p.series, 2000);
        Add(p.series, 2000);
        const QImage shown = plot.Picture();
        const PlotGeometry& g = plot.Geometry();
        const double sx = double(shown.width()) / g.canvasWidth;
        const double sy = double(shown.height()) / g.canvasHeight;
        const int y = static_cast<int>(g.ValueY(2000) * sy);
        // A dark pixel in the curve's row, at canvas x.
        auto curveAt = [&](int x) {
            for (int dy = -1; dy <= 1; ++dy)
                if (qGray(shown.pixel(static_cast<int>(x * sx), y + dy)) < 100)
                    return true;
            return false;
        };
        QVERIFY(curveAt(g.canvasWidth - 3));
        QVERIFY(curveAt(g.canvasWidth - g.sampleSpacing + 1));
        // Two samples span one spacing; further left there is no curve.
        QVERIFY(!curveAt(g.canvasWidth - 3 * g.sampleSpacing));
    }
};

QTEST_MAIN(CPICTest)
#include "CPICTest.moc"
