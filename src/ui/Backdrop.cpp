#include "ui/Backdrop.h"

#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace tarvek {

void Backdrop::Draw(QWidget& widget, QPainter& painter) {
    const qreal ratio = widget.devicePixelRatioF();
    if (picture_.size() != widget.size() * ratio) {
        QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        if (QWidget* parent = widget.parentWidget())
            parent->render(&image, QPoint(), QRegion(widget.geometry()), QWidget::DrawWindowBackground);
        picture_ = QPixmap::fromImage(image);
    }
    painter.drawPixmap(0, 0, picture_);
}

void Backdrop::ForgetOn(const QEvent& event) {
    switch (event.type()) {
    case QEvent::Move:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::FontChange:
        picture_ = QPixmap();
        break;
    default:
        break;
    }
}

} // namespace tarvek
