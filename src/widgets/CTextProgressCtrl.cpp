#include "widgets/CTextProgressCtrl.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QResizeEvent>
#include <QThread>

#include <algorithm>
#include <cstdint>

namespace {

// part × whole / range in 64-bit integers, truncated toward zero as the share is, and kept
// within what a coordinate can hold: positions far outside the range stay drawable.
int Share(int64_t part, int64_t whole, int64_t range)
{
    const int64_t v = part * whole / range;
    return static_cast<int>(std::clamp<int64_t>(v, -(int64_t(1) << 24), int64_t(1) << 24));
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QProgressBar(parent)
{
    // Colours of the system at construction, kept for the bar's life.
    const QPalette p = palette();
    barColour = p.color(QPalette::Highlight);
    backColour = p.color(QPalette::Base);
    textOnBackColour = p.color(QPalette::Highlight);
    textOnBarColour = p.color(QPalette::Base);
    // The paint covers the whole bar; the background is never erased first (and, for an empty
    // range, not drawn at all).
    setAttribute(Qt::WA_OpaquePaintEvent);
    clientWidth = width();
    setRange(0, 100);
    setValue(0);
}

int CTextProgressCtrl::BarWidth(int position, int width) const
{
    const int64_t range = int64_t(upper) - lower;
    if (range <= 0)
        return 0;
    return Share(int64_t(position) - lower, width, range);
}

void CTextProgressCtrl::SetRange(int l, int u)
{
    lower = l;
    upper = u;
}

void CTextProgressCtrl::SetStep(int s)
{
    step = s;
}

int CTextProgressCtrl::SetPos(int p)
{
    const int old = pos.exchange(p);
    const int width = BarWidth(p, clientWidth);
    const bool changed = barWidthCache.exchange(width) != width;
    if (QThread::currentThread() == thread()) {
        SyncBase();
        if (changed)
            repaint();
    } else {
        QMetaObject::invokeMethod(
            this,
            [this, changed] {
                SyncBase();
                if (changed)
                    repaint();
            },
            Qt::QueuedConnection);
    }
    return old;
}

int CTextProgressCtrl::StepIt()
{
    return SetPos(pos + step);
}

void CTextProgressCtrl::SetWindowText(const QString& text)
{
    if (text == overrideText)
        return;
    overrideText = text;
    update();
}

void CTextProgressCtrl::SetShowText(bool on)
{
    showText = on;
    update();
}

QString CTextProgressCtrl::ShownText() const
{
    if (!overrideText.isEmpty())
        return overrideText;
    const int64_t range = int64_t(upper) - lower;
    const int percent = range > 0 ? Share(int64_t(pos) - lower, 100, range) : 0;
    return QString::number(percent) + QLatin1Char('%');
}

QString CTextProgressCtrl::text() const
{
    return ShownText();
}

void CTextProgressCtrl::SyncBase()
{
    const int l = lower;
    const int u = std::max(l, int(upper));
    syncingBase = true;
    setRange(l, u);
    setValue(std::clamp(int(pos), l, u));
    syncingBase = false;
}

bool CTextProgressCtrl::event(QEvent* e)
{
    // QProgressBar repaints itself when its value moves; the bar decides that on its own.
    if (syncingBase && e->type() == QEvent::Paint)
        return true;
    return QProgressBar::event(e);
}

void CTextProgressCtrl::paintEvent(QPaintEvent*)
{
    const int l = lower, u = upper, p = pos;
    if (l >= u)
        return;
    ++paints;
    const QRect client = rect();
    const int barRight = client.left() + std::clamp(BarWidth(p, client.width()), 0, client.width());
    const QRect done(client.left(), client.top(), barRight - client.left(), client.height());
    const QRect rest(barRight, client.top(), client.right() + 1 - barRight, client.height());

    QPainter painter(this);
    painter.fillRect(done, barColour);
    painter.fillRect(rest, backColour);
    if (!showText)
        return;
    const QString s = ShownText();
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setClipRect(done);
    painter.setPen(textOnBarColour);
    painter.drawText(client, flags, s);
    painter.setClipRect(rest);
    painter.setPen(textOnBackColour);
    painter.drawText(client, flags, s);
}

void CTextProgressCtrl::resizeEvent(QResizeEvent* e)
{
    QProgressBar::resizeEvent(e);
    clientWidth = e->size().width();
    barWidthCache = -1;
}
