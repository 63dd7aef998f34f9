#include "ui/Lamp.h"

#include "ui/Pictures.h"

#include <QPainter>

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Acquisition lamp"));
    setMinimumSize(28, 28);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::SetColour(int value) {
    colour_ = value;
    setAccessibleDescription(LampColourWord(value));
    // Painted now rather than at the next turn of the event loop: a scan
    // turns the lamp yellow just before its poll sends the first byte.
    repaint();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
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
