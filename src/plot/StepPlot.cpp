#include "plot/StepPlot.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMostValueTicks = 8;
constexpr int kGap = 6;  // pixels between a label and what it labels

QString TickText(double v)
{
    return QString::number(v, 'g', 6);
}

}  // namespace

StepPlot::StepPlot(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(tr("阶跃曲线"));
}

QColor StepPlot::RunColour(int index)
{
    // Distinct in hue and lightness, none pale on white.
    static const QColor colours[] = {
        QColor(31, 119, 180), QColor(214, 39, 40),  QColor(44, 160, 44),  QColor(255, 127, 14),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(64, 64, 64),
        QColor(188, 189, 34), QColor(23, 190, 207)};
    return colours[static_cast<size_t>(std::max(0, index)) % std::size(colours)];
}

void StepPlot::SetFrame(double duration, int from, int to, double halfBand)
{
    durationMs = duration > 0 ? duration : 1;
    start = from;
    target = to;
    band = halfBand;
    update();
}

void StepPlot::AddRun(const QString& legend, std::vector<StepPoint> points)
{
    runs.push_back({legend, std::move(points), {}, true});
    Extend(runs.back(), runs.back().points);
    UpdateDescription();
    update();
}

void StepPlot::Append(int run, const std::vector<StepPoint>& points)
{
    if (run < 0 || run >= Runs() || points.empty())
        return;
    Run& r = runs[static_cast<size_t>(run)];
    r.points.insert(r.points.end(), points.begin(), points.end());
    Extend(r, points);
    r.dirty = true;
    update();
}

void StepPlot::SetPoints(int run, std::vector<StepPoint> points)
{
    if (run < 0 || run >= Runs())
        return;
    Run& r = runs[static_cast<size_t>(run)];
    r.points = std::move(points);
    r.greatest = r.least - 1;
    Extend(r, r.points);
    r.dirty = true;
    update();
}

void StepPlot::Extend(Run& run, const std::vector<StepPoint>& points)
{
    for (const StepPoint& p : points) {
        if (run.greatest < run.least) {
            run.least = run.greatest = p.value;
            continue;
        }
        run.least = std::min(run.least, p.value);
        run.greatest = std::max(run.greatest, p.value);
    }
}

void StepPlot::Clear()
{
    runs.clear();
    UpdateDescription();
    update();
}

QStringList StepPlot::Legend() const
{
    QStringList legend;
    for (const Run& r : runs)
        legend << r.legend;
    return legend;
}

void StepPlot::UpdateDescription()
{
    // A screen reader reads the legend out.
    setAccessibleDescription(Legend().join(QStringLiteral("; ")));
}

QImage StepPlot::Picture()
{
    return grab().toImage();
}

void StepPlot::Layout()
{
    const QFontMetrics m(font());
    int least = std::min(start, target);
    int greatest = std::max(start, target);
    for (const Run& r : runs)
        if (r.least <= r.greatest) {
            least = std::min(least, r.least);
            greatest = std::max(greatest, r.greatest);
        }
    const auto [low, high] = FitValues(least, greatest, kMostValueTicks);
    int labels = 0;
    for (double v : Ticks(low, high, RoundStep(low, high, kMostValueTicks)))
        labels = std::max(labels, m.horizontalAdvance(TickText(v)));
    legendWidth = 0;
    for (const Run& r : runs)
        legendWidth = std::max(legendWidth, m.horizontalAdvance(r.legend) + 28);
    legendWidth = std::min(legendWidth, width() / 3);
    StepAxes a;
    a.left = labels + 2 * kGap + m.height();  // the tick labels and the turned axis caption
    a.top = m.height() / 2 + kGap;
    a.width = std::max(1.0, width() - a.left - (legendWidth > 0 ? legendWidth + 2 * kGap : kGap) - 8);
    a.height = std::max(1.0, height() - a.top - 2 * m.height() - 2 * kGap);
    a.fromMs = 0;
    a.toMs = durationMs;
    a.low = low;
    a.high = high;
    const bool same = a.left == drawnFor.left && a.top == drawnFor.top && a.width == drawnFor.width &&
                      a.height == drawnFor.height && a.toMs == drawnFor.toMs &&
                      a.low == drawnFor.low && a.high == drawnFor.high;
    axes = a;
    for (Run& r : runs) {
        if (r.dirty || !same)
            ColumnPoints(r.points, axes, r.drawn);
        r.dirty = false;
    }
    drawnFor = axes;
}

void StepPlot::paintEvent(QPaintEvent*)
{
    Layout();
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    DrawAxes(p);
    const QRectF area(axes.left, axes.top, axes.width, axes.height);
    p.save();
    p.setClipRect(area.adjusted(-1, -1, 1, 1));
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF line;
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto& drawn = runs[i].drawn;
        line.resize(static_cast<qsizetype>(drawn.size()));
        for (size_t k = 0; k < drawn.size(); ++k)
            line[static_cast<qsizetype>(k)] = QPointF(drawn[k].first, drawn[k].second);
        { QPen pen(RunColour(static_cast<int>(i)), 1); pen.setCosmetic(true); p.setPen(pen); }
        // In short pieces: the stroker's cost grows faster than a line's length.
        constexpr qsizetype kPiece = 32;
        for (qsizetype from = 0; from + 1 < line.size(); from += kPiece)
            p.drawPolyline(line.constData() + from, static_cast<int>(std::min(kPiece + 1, line.size() - from)));
    }
    p.restore();
    DrawLegend(p);
}

void StepPlot::DrawAxes(QPainter& p)
{
    const QFontMetrics m(font());
    const QRectF area(axes.left, axes.top, axes.width, axes.height);
    // The settling band around the target, shaded; the start and the target dashed.
    const double bandTop = std::clamp(axes.Y(target + band), area.top(), area.bottom());
    const double bandBottom = std::clamp(axes.Y(target - band), area.top(), area.bottom());
    p.fillRect(QRectF(area.left(), bandTop, area.width(), bandBottom - bandTop), QColor(0, 150, 0, 28));
    const QPen grid(QColor(220, 220, 220), 1);
    const QPen text(QColor(40, 40, 40));
    // Value lines and labels.
    const double valueStep = RoundStep(axes.low, axes.high, kMostValueTicks);
    for (double v : Ticks(axes.low, axes.high, valueStep)) {
        const double y = std::round(axes.Y(v)) + 0.5;
        p.setPen(grid);
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        p.setPen(text);
        const QString label = TickText(v);
        p.drawText(QRectF(0, y - m.height(), axes.left - kGap, 2 * m.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    // Time lines, labelled below, at least five label widths apart.
    const double labelRoom = 5.0 * m.horizontalAdvance(TickText(axes.toMs)) + 2 * kGap;
    const int timeTicks = std::max(1, static_cast<int>(axes.width / std::max(1.0, labelRoom / 2.5)));
    const double timeStep = RoundStep(axes.fromMs, axes.toMs, std::min(timeTicks, 12));
    for (double ms : Ticks(axes.fromMs, axes.toMs, timeStep)) {
        const double x = std::round(axes.X(ms)) + 0.5;
        p.setPen(grid);
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        p.setPen(text);
        p.drawText(QRectF(x - 60, area.bottom() + kGap / 2.0, 120, m.height()),
                   Qt::AlignHCenter | Qt::AlignTop, TickText(ms));
    }
    p.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    for (int v : {start, target}) {
        const double y = std::round(axes.Y(v)) + 0.5;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    p.setPen(text);
    p.drawRect(area);
    // The axis captions: time below the labels, position turned up the left edge.
    p.drawText(QRectF(area.left(), area.bottom() + m.height() + kGap, area.width(), m.height()),
               Qt::AlignHCenter | Qt::AlignTop, tr("时间 (ms)"));
    p.save();
    p.translate(0, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, 0, area.height(), m.height()), Qt::AlignCenter, tr("位置"));
    p.restore();
}

void StepPlot::DrawLegend(QPainter& p)
{
    if (runs.empty())
        return;
    const QFontMetrics m(font());
    const double x = axes.left + axes.width + 2 * kGap;
    double y = axes.top;
    for (size_t i = 0; i < runs.size() && y + m.height() <= height(); ++i) {
        const double mid = y + m.height() / 2.0;
        p.setPen(QPen(RunColour(static_cast<int>(i)), 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(x, mid), QPointF(x + 18, mid));
        p.setPen(QColor(40, 40, 40));
        p.drawText(QRectF(x + 24, y, legendWidth - 24, m.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   m.elidedText(runs[i].legend, Qt::ElideRight, legendWidth - 24));
        y += m.height() + 4;
    }
}
