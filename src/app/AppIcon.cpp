#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const double u = size / 16.0;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 70, 120));
        p.drawRoundedRect(QRectF(1 * u, 4 * u, 14 * u, 10 * u), 1.5 * u, 1.5 * u);
        p.setBrush(QColor(235, 235, 235));
        p.drawEllipse(QPointF(5.5 * u, 9 * u), 3 * u, 3 * u);
        p.setBrush(QColor(230, 140, 30));
        p.drawRoundedRect(QRectF(4.5 * u, 1 * u, 2 * u, 8 * u), u, u);
        icon.addPixmap(pixmap);
    }
    return icon;
}
