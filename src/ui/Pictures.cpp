#include "ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tarvek {

namespace {

QPixmap Blank(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A sheet of paper above an open tray; the arrow points out of the tray for
// Load and into it for Save.
QPixmap TrayPicture(int size, bool into) {
    QPixmap pixmap = Blank(QSize(size, size));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    p.scale(s, s);

    p.setPen(QPen(QColor(60, 60, 60), 0.8));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(4.5, 1.5, 7, 8));
    p.setPen(QPen(QColor(150, 150, 150), 0.6));
    for (qreal y = 3.5; y < 8; y += 1.5)
        p.drawLine(QPointF(6, y), QPointF(10, y));

    p.setPen(QPen(QColor(40, 70, 120), 1.0));
    p.setBrush(QColor(90, 130, 190));
    QPainterPath tray;
    tray.moveTo(1.5, 9.5);
    tray.lineTo(4, 9.5);
    tray.lineTo(5, 11);
    tray.lineTo(11, 11);
    tray.lineTo(12, 9.5);
    tray.lineTo(14.5, 9.5);
    tray.lineTo(14.5, 14.5);
    tray.lineTo(1.5, 14.5);
    tray.closeSubpath();
    p.drawPath(tray);

    QPolygonF arrow;
    if (into)
        arrow << QPointF(6.5, 4) << QPointF(9.5, 4) << QPointF(9.5, 7) << QPointF(11.5, 7) << QPointF(8, 10.5)
              << QPointF(4.5, 7) << QPointF(6.5, 7);
    else
        arrow << QPointF(6.5, 10) << QPointF(9.5, 10) << QPointF(9.5, 7) << QPointF(11.5, 7)
              << QPointF(8, 3.5) << QPointF(4.5, 7) << QPointF(6.5, 7);
    p.setPen(QPen(into ? QColor(20, 100, 30) : QColor(150, 80, 0), 0.7));
    p.setBrush(into ? QColor(60, 170, 70) : QColor(240, 150, 30));
    p.drawPolygon(arrow);
    return pixmap;
}

} // namespace

QIcon WindowIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap = Blank(QSize(size, size));
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        p.scale(s, s);
        p.setPen(QPen(QColor(50, 50, 60), 1.5));
        p.setBrush(QColor(20, 40, 35));
        p.drawRoundedRect(QRectF(2, 4, 28, 22), 3, 3);
        p.setPen(QPen(QColor(80, 230, 120), 2.0));
        QPainterPath trace;
        trace.moveTo(5, 18);
        for (int x = 5; x <= 27; ++x)
            trace.lineTo(x, 15 - 6 * std::sin((x - 5) / 3.5));
        p.setBrush(Qt::NoBrush);
        p.drawPath(trace);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 90, 100));
        p.drawRect(QRectF(12, 26, 8, 2));
        p.drawRect(QRectF(8, 28, 16, 2));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap LoadPicture(int size) {
    return TrayPicture(size, false);
}

QPixmap SavePicture(int size) {
    return TrayPicture(size, true);
}

QPixmap TracePicture(QSize size) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    p.setPen(QPen(QColor(70, 80, 90), 1));
    p.setBrush(QColor(245, 248, 250));
    p.drawRect(area);
    p.setPen(QPen(QColor(205, 215, 225), 1));
    for (int i = 1; i < 6; ++i) {
        const qreal x = area.left() + area.width() * i / 6;
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    for (int i = 1; i < 4; ++i) {
        const qreal y = area.top() + area.height() * i / 4;
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    const QColor colours[] = {QColor(200, 50, 50), QColor(40, 110, 200)};
    for (int c = 0; c < 2; ++c) {
        QPainterPath path;
        for (int x = 0; x <= size.width() - 4; x += 2) {
            const qreal t = x / qreal(size.width());
            const qreal y = area.center().y() -
                            area.height() * (0.3 * std::sin(6.3 * t + c * 1.7) + 0.08 * std::sin(31 * t + c));
            if (x == 0)
                path.moveTo(area.left() + 2 + x, y);
            else
                path.lineTo(area.left() + 2 + x, y);
        }
        p.setPen(QPen(colours[c], 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    return pixmap;
}

QPixmap GaugePicture(int size) {
    QPixmap pixmap = Blank(QSize(size, size));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 64.0;
    p.scale(s, s);
    p.setPen(QPen(QColor(70, 70, 80), 2));
    p.setBrush(QColor(250, 250, 245));
    p.drawEllipse(QPointF(32, 32), 29, 29);

    // Scale from 225 degrees (left, low) to -45 degrees (right, high); the
    // last third is the alarm zone.
    const QRectF arc(10, 10, 44, 44);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 170, 70), 4, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, 225 * 16, -180 * 16);
    p.setPen(QPen(QColor(210, 60, 50), 4, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, 45 * 16, -90 * 16);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    for (int i = 0; i <= 10; ++i) {
        const qreal a = (225 - 27 * i) * M_PI / 180;
        p.drawLine(QPointF(32 + 17 * std::cos(a), 32 - 17 * std::sin(a)),
                   QPointF(32 + 20 * std::cos(a), 32 - 20 * std::sin(a)));
    }
    const qreal needle = 100 * M_PI / 180;
    p.setPen(QPen(QColor(30, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 32), QPointF(32 + 22 * std::cos(needle), 32 - 22 * std::sin(needle)));
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QPointF(32, 32), 3, 3);
    return pixmap;
}

QColor ColourFromValue(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace tarvek
