#pragma once
// The debug page's curve plot: six channels of samples drawn as coloured curves over a
// dashed grid. Its coordinates are those of a canvas of 0.1 mm pixels as large as the
// window; a paint draws them straight onto the window through a scaled painter, over a
// grid drawn once per size and setting. It keeps no samples of its own: a paint reads the
// page's series and converts its raw values to plot values. Painting and the settings belong
// to the window's thread.

#include "plot/CaptureSamples.h"
#include "plot/CaptureView.h"
#include "plot/PlotGeometry.h"
#include "plot/PlotSamples.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <tuple>

class CPIC : public QWidget {
    Q_OBJECT
public:
    // The placeholder's size on the page: 340 × 152 dialog units.
    static constexpr int kDefaultWidth = 510;
    static constexpr int kDefaultHeight = 250;

    explicit CPIC(QWidget* parent = nullptr);

    // Sizes the canvas for a client area of `pixels` on this screen (the default size when
    // not given). A shown plot measures its client area again whenever it changes size.
    void InitCanvas(QSize pixels = QSize());

    // The series the plot draws (none: only the grid); it tells the series how many of the
    // poll's answers it shows. The series outlives the plot's use of it.
    void SetSeries(FeedbackSamples* series);

    void SetSampleSpacing(int n) { plotGeometry.sampleSpacing = n; }
    void SetHorizontalShift(int n) { plotGeometry.horizontalShift = n; }
    // The left scale's labels: plot values over the selected servo's position divisor (each
    // sample is drawn at the divisor it was read with).
    void SetPositionFactor(int f) { positionFactor = f; }
    int PositionFactor() const { return positionFactor; }

    // Paused, the picture holds still (the lists as they were) while the lists go on
    // filling; the space bar toggles it when the plot has focus.
    void SetPaused(bool on);
    bool Paused() const { return paused; }
    // Empties the series' views (and a paused picture).
    void Clear();
    // Marks the corner while the page records its feedback.
    void SetRecording(bool on);
    bool Recording() const { return recording; }
    // The plot as shown, without the corner marks.
    QImage Picture();

    // Fast capture: the plot draws the capture's samples against time (the last 10 s; the
    // zoom slider narrows the span, the shift slider looks back), each pixel column showing
    // the least and greatest of its samples. The poll's answers stay as they were meanwhile.
    void SetCaptureMode(bool on);
    bool CaptureMode() const { return captureMode; }
    // The samples achieved a second, shown in the corner while capturing.
    void SetCaptureRate(double perSecond);
    // Every sample the capture shows (those of the paused picture while paused).
    std::vector<CaptureRow> CaptureRows() const;
    // The time span the capture's picture shows, in µs.
    double CaptureSpan() const;

    std::atomic<int> channelMask{7};

    const PlotGeometry& Geometry() const { return plotGeometry; }

    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }
    QSize minimumSizeHint() const override { return {kDefaultWidth / 2, kDefaultHeight / 2}; }

signals:
    // A right click or the menu key: the page shows its menu at `globalPos`.
    void menuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Measure(QSize pixels);
    void SyncScale();
    void DrawGrid(QPainter& p);
    // In canvas pixels on the canvas (sx = sy = 1), else scaled by sx, sy to the window.
    void DrawCurves(QPainter& p, const PlotLists& lists, qreal sx, qreal sy);
    void DrawMarks(QPainter& p);
    void DrawTimeGrid(QPainter& p);
    // Into `image`, the plot at the device's resolution.
    void DrawCapture(QImage& image, const CaptureSamples::Frame& f);
    CaptureView View(long long newestUs, int columns) const;
    const QImage& Grid(QSize device, qreal ratio);
    void UpdateDescription();

    PlotGeometry plotGeometry;
    FeedbackSamples* series = nullptr;
    int positionFactor = 1;
    FeedbackSamples::Polled polled;  // a paint's copy of the poll's answers
    PlotLists snapshot;
    PlotLists frozen;  // the paused picture's lists
    bool measured = false;
    bool paused = false;
    bool recording = false;
    bool marks = true;
    QImage grid;    // the grid at the window's resolution
    // Fast capture: the picture's bins, folded from the series.
    CaptureSamples capture;
    CaptureSamples::Frame frame;
    CaptureSamples::Frame frozenFrame;
    std::vector<CaptureRow> frozenRows;
    ChannelColumns columns;
    QImage picture;  // the grid and the curves of the last capture paint
    bool captureMode = false;
    double captureRate = 0;
    using GridKey = std::tuple<int, int, int, int, int, int, int, int, qreal, bool, int>;
    GridKey gridKey{};
    QFont labelFont;
};
