#include "platform/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zanthrel::qt {
namespace {

// The drawing lives on a 32 × 32 grid, the size of the largest Windows image.
QPixmap paintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, size > 16);
    painter.scale(size / 32.0, size / 32.0);

    // The window leans back: its right edge is shorter than its left.
    const QPolygonF window{QPointF(3, 7), QPointF(26, 4), QPointF(26, 25), QPointF(3, 27)};
    const QPolygonF shadow = window.translated(3, 3);
    const QPolygonF titleBar{QPointF(3, 7), QPointF(26, 4), QPointF(26, 9), QPointF(3, 12)};

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x80, 0x80, 0x80));
    painter.drawPolygon(shadow);
    painter.setBrush(Qt::white);
    painter.drawPolygon(window);
    painter.setBrush(QColor(0x00, 0xFF, 0xFF));
    painter.drawPolygon(titleBar);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.drawPolygon(window);
    painter.drawLine(QPointF(3, 12), QPointF(26, 9));
    return pixmap;
}

}  // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(paintIcon(size));
    return icon;
}

}  // namespace zanthrel::qt
