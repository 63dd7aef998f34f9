#include "viewer/ChartWindow.h"

#include <algorithm>
#include <cmath>

namespace tarvek {

ChartWindow ChartWindow::Zoomed(double factor, double anchor) const {
    const double width = double(to - from) * factor;
    const double at = double(from) + double(to - from) * anchor;
    return Of(qint64(at - width * anchor), qint64(at + width * (1 - anchor)));
}

ChartWindow ChartWindow::Panned(double fraction) const {
    const qint64 shift = qint64(double(to - from) * fraction);
    return Of(from + shift, to + shift);
}

qint64 ChartWindow::TimeAt(double x, const PlotBand& band) const {
    return from + qint64(double(to - from) * (x - band.left) / band.width);
}

double ChartWindow::XAt(qint64 utcMs, const PlotBand& band) const {
    return band.left + double(utcMs - from) / double(to - from) * band.width;
}

ChartWindow ChartWindow::Picked(double x1, double x2, const PlotBand& band) const {
    return Of(TimeAt(x1, band), TimeAt(x2, band));
}

double WheelFactor(int angleDelta) {
    return std::pow(0.8, angleDelta / 120.0);
}

double AnchorAt(double x, const PlotBand& band) {
    return std::clamp((x - band.left) / band.width, 0.0, 1.0);
}

bool IsPickedRectangle(const QRectF& picked) {
    return picked.width() >= 3 && picked.height() >= 3;
}

double ValueAt(double y, const QRectF& plot, double low, double high) {
    return low + (high - low) * (plot.bottom() - y) / plot.height();
}

KeyAction KeyActionOf(int key) {
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return {KeyAction::Zoom, 0.5};
    case Qt::Key_Minus:
        return {KeyAction::Zoom, 2.0};
    case Qt::Key_Left:
        return {KeyAction::Pan, -0.1};
    case Qt::Key_Right:
        return {KeyAction::Pan, 0.1};
    case Qt::Key_Home:
        return {KeyAction::Reset};
    default:
        return {};
    }
}

ChartDrag DragStartedBy(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    if (button == Qt::MiddleButton || (button == Qt::LeftButton && modifiers & Qt::ShiftModifier))
        return ChartDrag::Pan;
    return button == Qt::LeftButton ? ChartDrag::Zoom : ChartDrag::None;
}

bool EndsZoomRectangle(Qt::MouseButton released) {
    return released == Qt::LeftButton;
}

} // namespace tarvek
