#include "ui/Lamp.h"

#include "ui/Pictures.h"

#include <QPainter>

namespace tarvek {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Acquisition lamp"));
    setMinimumSize(28, 28);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The lamp paints its surroundings too, so a new colour repaints the
    // lamp alone.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Lamp::SetColour(int value) {
    colour_ = value;
    setAccessibleDescription(LampColourWord(value));
    // Yellow is painted now rather than at the next turn of the event loop: a
    // scan turns the lamp yellow just before its poll sends the first byte.
    // The other colours show with the rest of what changed in the same turn
    // (the readings, the state panel) in one paint.
    if (value == LampYellow)
        repaint();
    else
        update();
}

void Lamp::paintEvent(QPaintEvent*) {
    // The shaded disc is drawn once per colour and size, then copied: drawn
    // straight onto the window, its many edge spans are handed to helper
    // threads and waited for at every change of colour, the one before a
    // poll's first byte included.
    const qreal ratio = devicePixelRatioF();
    QPixmap& picture = pictures_[colour_];
    if (picture.size() != size() * ratio) {
        QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor fill = ColourFromValue(colour_);
        const qreal side = qMin(width(), height()) - 4.0;
        const QRectF disc((width() - side) / 2, (height() - side) / 2, side, side);
        QRadialGradient shine(disc.center() - QPointF(side / 6, side / 6), side / 1.4);
        shine.setColorAt(0, fill.lighter(160));
        shine.setColorAt(1, fill);
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(shine);
        p.drawEllipse(disc);
        p.end();
        picture = QPixmap::fromImage(image);
    }
    QPainter painter(this);
    backdrop_.Draw(*this, painter);
    painter.drawPixmap(0, 0, picture);
}

bool Lamp::event(QEvent* event) {
    backdrop_.ForgetOn(*event);
    return QWidget::event(event);
}

QString LampColourWord(int value) {
    switch (value) {
    case LampRed:
        return QStringLiteral("red");
    case LampGreen:
        return QStringLiteral("green");
    case LampYellow:
        return QStringLiteral("yellow");
    default:
        return ColourFromValue(value).name();
    }
}

} // namespace tarvek
