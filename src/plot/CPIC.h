#pragma once
// The debug page's curve plot: six channels of samples drawn as coloured curves over a
// dashed grid on an off-screen canvas of 0.1 mm pixels, which each paint copies to the
// window with an averaging scale. Samples come from the poll thread; painting and the
// settings belong to the window's thread.

#include "plot/PlotGeometry.h"
#include "plot/PlotSamples.h"

#include <QFont>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <vector>

class CPIC : public QWidget {
    Q_OBJECT
public:
    // The placeholder's size on the page: 340 × 152 dialog units.
    static constexpr int kDefaultWidth = 510;
    static constexpr int kDefaultHeight = 250;

    explicit CPIC(QWidget* parent = nullptr);

    // Sizes the canvas for a client area of `pixels` on this screen (the default size when
    // not given) and fills it white. The canvas keeps that size; the window may not.
    void InitCanvas(QSize pixels = QSize());

    // From the poll thread.
    void AddPositionSample(int v) { samples.AddPositionSample(v); }
    void AddLoadSample(int v) { samples.AddLoadSample(v); }
    void AddSpeedSample(int v) { samples.AddSpeedSample(v); }
    void AddTargetSample(int v) { samples.AddTargetSample(v); }
    void AddFastSlowSample(int v) { samples.AddFastSlowSample(v); }
    void AddCurrentSample(int v) { samples.AddCurrentSample(v); }

    // From the window's thread.
    void SetSampleSpacing(int n) { plotGeometry.sampleSpacing = n; }
    void SetHorizontalShift(int n) { plotGeometry.horizontalShift = n; }
    void SetPositionFactor(int f) { samples.positionFactor = f; }
    int PositionFactor() const { return samples.positionFactor; }

    std::atomic<int> channelMask{7};

    const PlotGeometry& Geometry() const { return plotGeometry; }
    PlotSamples& Samples() { return samples; }
    // Redraws the canvas from the lists and returns it, as a paint does first.
    const QImage& RenderCanvas();

    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }
    QSize minimumSizeHint() const override { return {kDefaultWidth / 2, kDefaultHeight / 2}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawGrid(QPainter& p);

    PlotGeometry plotGeometry;
    PlotSamples samples;
    PlotSamples::Snapshot snapshot;
    QImage canvas;
    QImage shown;                // the canvas at the window's size
    std::vector<uint32_t> work;  // the averaging's scratch rows
    QFont labelFont;
};
