#include "plot/CPIC.h"

#include "plot/AverageScale.h"

#include <QPainter>
#include <QPolygon>
#include <QScreen>

#include <cmath>

namespace {

const QColor kChannelColours[kChannels] = {
    QColor(0, 0, 0),      // position
    QColor(255, 0, 0),    // load
    QColor(0, 255, 0),    // speed
    QColor(0, 0, 255),    // target
    QColor(255, 255, 0),  // fast/slow
    QColor(0, 255, 255),  // current
};

}  // namespace

CPIC::CPIC(QWidget* parent) : QWidget(parent)
{
    // Every paint covers the whole window: no background erase, so no white flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QString::fromUtf8("曲线"));
}

void CPIC::InitCanvas(QSize pixels)
{
    if (!pixels.isValid())
        pixels = sizeHint();
    // The client area in 0.1 mm from the screen's resolution.
    const double dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const double dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96;
    const int width = static_cast<int>(pixels.width() * 254.0 / dpiX);
    const int height = static_cast<int>(pixels.height() * 254.0 / dpiY);
    const PlotGeometry sized = PlotGeometry::ForCanvas(width, height);
    plotGeometry.canvasWidth = sized.canvasWidth;
    plotGeometry.canvasHeight = sized.canvasHeight;
    plotGeometry.unitsPerValue = sized.unitsPerValue;
    plotGeometry.labelPointSize = sized.labelPointSize;
    samples.SetCapacity(plotGeometry.Capacity());

    labelFont = QFont(QStringLiteral("Arial"));
    // Tenths of a point to canvas pixels at the screen's resolution.
    labelFont.setPixelSize(std::max(1, static_cast<int>(std::lround(
                                           plotGeometry.labelPointSize / 10.0 * dpiY / 72.0))));
    canvas = QImage(std::max(1, plotGeometry.canvasWidth), std::max(1, plotGeometry.canvasHeight),
                    QImage::Format_RGB32);
    canvas.fill(Qt::white);
}

void CPIC::DrawGrid(QPainter& p)
{
    QPen pen(Qt::black, 1, Qt::DashLine);
    p.setPen(pen);
    p.setFont(labelFont);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    const QFontMetrics metrics(labelFont);
    const int ascent = metrics.ascent();
    const int w = plotGeometry.canvasWidth;
    const int h = plotGeometry.canvasHeight;
    for (const auto& line : plotGeometry.HorizontalLines()) {
        p.drawLine(0, line.y, w, line.y);
        // Labels by their top left corner, on the text's own white background.
        p.drawText(line.leftX, line.labelY + ascent, QString::fromStdString(line.leftLabel));
        p.drawText(line.rightX, line.labelY + ascent, QString::fromStdString(line.rightLabel));
    }
    for (int x : plotGeometry.VerticalLines())
        p.drawLine(x, 0, x, h);
}

const QImage& CPIC::RenderCanvas()
{
    if (canvas.isNull())
        InitCanvas();
    plotGeometry.positionFactor = samples.positionFactor;
    plotGeometry.centredGain = samples.centredGain;
    samples.CopyInto(snapshot);  // the only moment the poll thread may wait for us
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    DrawGrid(p);
    p.setBackgroundMode(Qt::TransparentMode);
    const int mask = channelMask;
    QPolygon points;
    for (int c = 0; c < kChannels; ++c) {
        const auto& list = snapshot[static_cast<size_t>(c)];
        if (!(mask & (1 << c)) || list.empty())
            continue;
        points.resize(static_cast<int>(list.size()));
        for (int i = 0; i < static_cast<int>(list.size()); ++i)
            points[i] = QPoint(plotGeometry.SampleX(i), plotGeometry.ValueY(list[static_cast<size_t>(i)]));
        p.setPen(QPen(kChannelColours[c], 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        if (points.size() == 1)
            p.drawPoint(points[0]);
        else
            p.drawPolyline(points);
    }
    return canvas;
}

void CPIC::paintEvent(QPaintEvent*)
{
    // Redraw, then copy with averaging.
    const QImage& drawn = RenderCanvas();
    const qreal ratio = devicePixelRatioF();
    const QSize target = (QSizeF(size()) * ratio).toSize();
    if (target.isEmpty())
        return;
    if (shown.size() != target)
        shown = QImage(target, QImage::Format_RGB32);
    // Averaging, in this thread: no hand-off to helper threads on a busy machine.
    AverageScale({const_cast<uint32_t*>(reinterpret_cast<const uint32_t*>(drawn.constBits())),
                  drawn.width(), drawn.height(), static_cast<int>(drawn.bytesPerLine() / 4)},
                 {reinterpret_cast<uint32_t*>(shown.bits()), shown.width(), shown.height(),
                  static_cast<int>(shown.bytesPerLine() / 4)},
                 work);
    shown.setDevicePixelRatio(ratio);
    QPainter window(this);
    window.drawImage(0, 0, shown);
}
