#include "pages/motion/MotionPlot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

MotionPlot::MotionPlot(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(tr("目标曲线"));
    setMinimumHeight(160);
}

void MotionPlot::SetTimeline(std::shared_ptr<const MotionTimeline> t)
{
    timeline = std::move(t);
    update();
}

void MotionPlot::SetPosition(double ms)
{
    position = ms;
    update();
}

void MotionPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(200, 200, 200));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!timeline)
        return;
    // What is drawn: the whole playback, or its first pass and one loop when it is endless.
    const double length = timeline->LengthMs() >= 0 ? timeline->LengthMs()
                                                    : timeline->FirstPassMs() + timeline->LoopMs();
    if (length <= 0)
        return;
    const int samples = std::max(2, width());
    std::map<uint8_t, std::vector<int>> curves;
    int low = 1 << 30, high = -(1 << 30);
    for (int i = 0; i < samples; ++i) {
        const TimelinePoint point = timeline->At(length * i / (samples - 1));
        for (const auto& [id, target] : point.targets) {
            curves[id].push_back(target);
            low = std::min(low, target);
            high = std::max(high, target);
        }
    }
    if (high == low)
        ++high;
    const QRectF area = QRectF(rect()).adjusted(8, 8, -8, -8);
    auto x = [&](double ms) { return area.left() + area.width() * ms / length; };
    auto y = [&](int v) { return area.bottom() - area.height() * (v - low) / (high - low); };
    static const QColor colours[] = {Qt::black, Qt::red, QColor(0, 140, 0), Qt::blue, QColor(0, 150, 150),
                                     QColor(200, 120, 0), Qt::magenta, Qt::darkGray};
    int c = 0;
    p.setRenderHint(QPainter::Antialiasing);
    for (const auto& [id, values] : curves) {
        QPainterPath path;
        for (size_t i = 0; i < values.size(); ++i) {
            const QPointF at(x(length * static_cast<double>(i) / (samples - 1)), y(values[i]));
            i == 0 ? path.moveTo(at) : path.lineTo(at);
        }
        p.setPen(QPen(colours[c++ % 8], 1.5));
        p.drawPath(path);
    }
    if (position >= 0) {
        // An endless playback's later loops are drawn over its first loop.
        const double first = timeline->FirstPassMs();
        const double at = timeline->LengthMs() >= 0 || position < first || timeline->LoopMs() <= 0
                              ? std::min(position, length)
                              : first + std::fmod(position - first, timeline->LoopMs());
        p.setPen(QPen(Qt::darkRed, 1, Qt::DashLine));
        p.drawLine(QPointF(x(at), area.top()), QPointF(x(at), area.bottom()));
    }
}
