#include "plot/CPIC.h"

#include "widgets/Utf8.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstring>

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
    // Focus by click and Tab, for the space bar and the menu key.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("曲线"));
}

void CPIC::InitCanvas(QSize pixels)
{
    Measure(pixels.isValid() ? pixels : sizeHint());
}

void CPIC::Measure(QSize pixels)
{
    // The client area in 0.1 mm from the screen's resolution.
    const double dpiX = logicalDpiX() > 0 ? logicalDpiX() : 96;
    const double dpiY = logicalDpiY() > 0 ? logicalDpiY() : 96;
    const int width = static_cast<int>(pixels.width() * 254.0 / dpiX);
    const int height = static_cast<int>(pixels.height() * 254.0 / dpiY);
    if (measured && width == plotGeometry.canvasWidth && height == plotGeometry.canvasHeight)
        return;
    const PlotGeometry sized = PlotGeometry::ForCanvas(width, height);
    plotGeometry.canvasWidth = sized.canvasWidth;
    plotGeometry.canvasHeight = sized.canvasHeight;
    plotGeometry.unitsPerValue = sized.unitsPerValue;
    // Above the default height the labels keep the default size's text: the labels' offsets
    // from the edges are made for it, and text growing with the window would run off the
    // right edge.
    const int standard = PlotGeometry::ForCanvas(0, static_cast<int>(kDefaultHeight * 254.0 / dpiY))
                             .labelPointSize;
    plotGeometry.labelPointSize = std::min(sized.labelPointSize, standard);
    // The samples stay; more than the new width holds drop their oldest.
    if (series)
        series->SetPollKeep(plotGeometry.Capacity());
    labelFont = QFont(QStringLiteral("Arial"));
    // Tenths of a point to canvas pixels at the screen's resolution.
    labelFont.setPixelSize(std::max(1, static_cast<int>(std::lround(
                                           plotGeometry.labelPointSize / 10.0 * dpiY / 72.0))));
    measured = true;
}

void CPIC::resizeEvent(QResizeEvent* event)
{
    // A hidden plot has no client area of its own yet; it measures when shown.
    if (isVisible())
        Measure(event->size());
    QWidget::resizeEvent(event);
}

void CPIC::showEvent(QShowEvent* event)
{
    Measure(size());
    QWidget::showEvent(event);
}

void CPIC::SyncScale()
{
    plotGeometry.positionFactor = positionFactor;
    plotGeometry.centredGain = kCentredGain;
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
    if (captureMode) {
        DrawTimeGrid(p);
        return;
    }
    for (int x : plotGeometry.VerticalLines())
        p.drawLine(x, 0, x, h);
}

CaptureView CPIC::View(long long newestUs, int columns) const
{
    CaptureView view;
    view.columns = columns;
    view.spanUs = CaptureSpan();
    view.shiftUs = plotGeometry.canvasWidth > 0 ? plotGeometry.horizontalShift * view.spanUs /
                                                      plotGeometry.canvasWidth
                                                : 0;
    view.newestUs = newestUs;
    return view;
}

double CPIC::CaptureSpan() const
{
    return CaptureSpanUs(plotGeometry.sampleSpacing);
}

void CPIC::DrawTimeGrid(QPainter& p)
{
    // Lines at round times before the newest sample, labelled in ms above the bottom line,
    // clear of the value labels at both ends.
    const int w = plotGeometry.canvasWidth;
    const int h = plotGeometry.canvasHeight;
    const QFontMetrics metrics(labelFont);
    const CaptureView view = View(0, width());
    if (view.columns <= 0)
        return;
    for (const TimeTick& tick : TimeTicks(view)) {
        const int x = static_cast<int>(std::lround(tick.x * w / view.columns));
        p.drawLine(x, 0, x, h);
        const QString label = QString::number(tick.ms) + QStringLiteral(" ms");
        const int textWidth = metrics.horizontalAdvance(label);
        const int left = x - textWidth / 2;
        if (left < 130 || left + textWidth > w - 100)
            continue;
        p.drawText(left, h - plotGeometry.baselineOffset - 45 + metrics.ascent(), label);
    }
}

void CPIC::DrawCapture(QImage& image, const CaptureSamples::Frame& f)
{
    if (f.newestUs < 0)
        return;
    const int mask = channelMask;
    const int w = image.width();
    const int h = image.height();
    Decimate(f, mask, View(f.newestUs, w), columns);
    const qreal sy = static_cast<qreal>(h) / plotGeometry.canvasHeight;
    const int stroke = std::max(1, static_cast<int>(std::lround(3 * sy)));  // 3 canvas units
    auto y = [&](int16_t v) {
        return static_cast<int>(std::clamp<qreal>(std::floor(plotGeometry.ValueY(v) * sy), -1, h));
    };
    uchar* bits = image.bits();
    const qsizetype line = image.bytesPerLine();
    for (int c = 0; c < kChannels; ++c) {
        if (!(mask & (1 << c)))
            continue;
        // One vertical stroke per pixel column from its least to its greatest value, reaching
        // back to where the column before ended: a curve whose steps and spikes all show.
        // Written straight into the picture's pixels: a painter's call per column would cost
        // more than all the samples behind it.
        const QRgb colour = kChannelColours[c].rgb();
        const auto& cols = columns[static_cast<size_t>(c)];
        int previous = -1;
        for (int x = 0; x < w; ++x) {
            const PlotColumn& col = cols[static_cast<size_t>(x)];
            if (!col.has)
                continue;
            int top = y(col.values.max);
            int bottom = y(col.values.min);
            if (previous >= 0) {
                top = std::min(top, previous);
                bottom = std::max(bottom, previous);
            }
            previous = y(col.values.last);
            top = std::max(0, top - (stroke - 1) / 2);
            bottom = std::min(h - 1, bottom + stroke / 2);
            const int right = std::min(w, x - (stroke - 1) / 2 + stroke);
            for (int row = top; row <= bottom; ++row) {
                auto* pixels = reinterpret_cast<QRgb*>(bits + row * line);
                for (int px = std::max(0, x - (stroke - 1) / 2); px < right; ++px)
                    pixels[px] = colour;
            }
        }
    }
}

void CPIC::DrawCurves(QPainter& p, const PlotLists& lists, qreal sx, qreal sy)
{
    p.setBackgroundMode(Qt::TransparentMode);
    const bool canvasPixels = sx == 1 && sy == 1;
    // 3 canvas pixels wide. On the window, where that is about one pixel, a one-pixel pen
    // (the painter's fast line path) through points on pixel centres, so that flat stretches
    // keep their full colour; on a finer screen the scaled width.
    const qreal width = canvasPixels ? 3 : std::max<qreal>(1, std::round(3 * sy));
    const int mask = channelMask;
    QPolygonF points;
    for (int c = 0; c < kChannels; ++c) {
        const auto& list = lists[static_cast<size_t>(c)];
        if (!(mask & (1 << c)) || list.empty())
            continue;
        // Only the samples on the canvas (and a neighbour past each edge) are drawn.
        const auto span = plotGeometry.VisibleSamples(static_cast<int>(list.size()));
        points.resize(span.end - span.first);
        for (int i = span.first; i < span.end; ++i) {
            const qreal x = plotGeometry.SampleX(i);
            const qreal y = plotGeometry.ValueY(list[static_cast<size_t>(i)]);
            points[i - span.first] = canvasPixels ? QPointF(x, y)
                                                  : QPointF(std::floor(x * sx) + 0.5,
                                                            std::floor(y * sy) + 0.5);
        }
        QPen pen(kChannelColours[c], width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        pen.setCosmetic(width <= 1);
        p.setPen(pen);
        if (points.size() == 1)
            p.drawPoint(points[0]);
        else
            p.drawPolyline(points);
    }
}

const QImage& CPIC::Grid(QSize device, qreal ratio)
{
    const PlotGeometry& g = plotGeometry;
    const GridKey key{device.width(), device.height(), g.canvasWidth, g.canvasHeight,
                      g.sampleSpacing, g.positionFactor, g.centredGain, g.labelPointSize, ratio,
                      captureMode, captureMode ? g.horizontalShift : 0};
    if (key == gridKey && !grid.isNull())
        return grid;
    gridKey = key;
    grid = QImage(device, QImage::Format_RGB32);
    grid.setDevicePixelRatio(ratio);
    grid.fill(Qt::white);
    QPainter p(&grid);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(device.width() / ratio / g.canvasWidth, device.height() / ratio / g.canvasHeight);
    DrawGrid(p);
    return grid;
}

void CPIC::paintEvent(QPaintEvent*)
{
    if (!measured)
        InitCanvas();
    SyncScale();
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(size()) * ratio).toSize();
    if (device.isEmpty() || plotGeometry.canvasWidth <= 0 || plotGeometry.canvasHeight <= 0) {
        p.fillRect(rect(), Qt::white);
        return;
    }
    if (captureMode) {
        const CaptureSamples::Frame* shown = &frozenFrame;
        if (!paused) {
            if (series)
                capture.Fold(*series);
            capture.CopyFrame(frame);
            shown = &frame;
        }
        // The grid, the curves written into a copy of it at the device's resolution.
        const QImage& g = Grid(device, ratio);
        if (picture.size() != g.size() || picture.format() != g.format())
            picture = QImage(g.size(), g.format());
        picture.setDevicePixelRatio(ratio);
        std::memcpy(picture.bits(), g.constBits(), static_cast<size_t>(g.sizeInBytes()));
        DrawCapture(picture, *shown);
        p.drawImage(0, 0, picture);
        if (marks)
            DrawMarks(p);
        return;
    }
    const PlotLists* lists = &frozen;
    if (!paused) {
        polled.samples.clear();
        if (series)
            series->CopyPolled(polled);  // the only moment the poll thread may wait for us
        ToPlotLists(polled, snapshot, false);
        lists = &snapshot;
    }
    // The grid as drawn last time it changed, then the curves over it, smoothed, through
    // the same canvas coordinates scaled to the window.
    p.drawImage(0, 0, Grid(device, ratio));
    p.setRenderHint(QPainter::Antialiasing);
    DrawCurves(p, *lists, static_cast<qreal>(width()) / plotGeometry.canvasWidth,
               static_cast<qreal>(height()) / plotGeometry.canvasHeight);
    if (marks)
        DrawMarks(p);
}

void CPIC::DrawMarks(QPainter& p)
{
    QStringList shown;
    if (captureMode)
        shown << tr("高速采集 %1 次/秒").arg(qRound(captureRate));
    if (recording)
        shown << tr("● 记录中");
    if (paused)
        shown << tr("暂停");
    if (shown.isEmpty())
        return;
    const QString text = shown.join(QStringLiteral("  "));
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    const QFontMetrics m(f);
    // The top right corner, left of the right-hand labels (80 canvas units wide at most).
    QRect box = m.boundingRect(text).adjusted(-4, -2, 4, 2);
    const int labels = plotGeometry.canvasWidth > 0 ? 80 * width() / plotGeometry.canvasWidth : 0;
    box.moveTo(std::max(0, width() - labels - 4 - box.width()), 2);
    p.fillRect(box, QColor(255, 255, 255, 220));
    p.setPen(recording ? QColor(200, 0, 0) : QColor(Qt::black));
    p.drawText(box, Qt::AlignCenter, text);
}

void CPIC::SetPaused(bool on)
{
    if (on && !paused) {
        polled.samples.clear();
        if (series)
            series->CopyPolled(polled);
        ToPlotLists(polled, frozen, false);
        if (captureMode && series) {
            capture.Fold(*series);
            capture.CopyFrame(frozenFrame);
            frozenRows = ::CaptureRows(*series);
        }
    }
    if (!on) {
        frozenFrame = {};
        frozenRows = {};
    }
    paused = on;
    UpdateDescription();
    update();
}

void CPIC::SetCaptureMode(bool on)
{
    // The picture of the other mode does not stay frozen: switching shows the live one.
    if (paused)
        SetPaused(false);
    captureMode = on;
    captureRate = 0;
    update();
}

void CPIC::SetCaptureRate(double perSecond)
{
    captureRate = perSecond;
}

std::vector<CaptureRow> CPIC::CaptureRows() const
{
    if (paused || !series)
        return frozenRows;
    return ::CaptureRows(*series);
}

void CPIC::SetSeries(FeedbackSamples* s)
{
    series = s;
    if (series && measured)
        series->SetPollKeep(plotGeometry.Capacity());
    update();
}

void CPIC::Clear()
{
    if (series)
        series->Clear();
    capture.Clear();
    frozenFrame = {};
    frozenRows = {};
    for (auto& l : frozen.values)
        l.clear();
    update();
}

void CPIC::SetRecording(bool on)
{
    recording = on;
    UpdateDescription();
    update();
}

void CPIC::UpdateDescription()
{
    QStringList states;
    if (recording)
        states << tr("记录中");
    if (paused)
        states << tr("暂停");
    setAccessibleDescription(states.join(QStringLiteral(", ")));
}

QImage CPIC::Picture()
{
    marks = false;
    QImage image = grab().toImage();
    marks = true;
    return image;
}

void CPIC::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            SetPaused(!paused);
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CPIC::contextMenuEvent(QContextMenuEvent* event)
{
    // The right button and the menu key alike.
    emit menuRequested(event->globalPos());
    event->accept();
}
