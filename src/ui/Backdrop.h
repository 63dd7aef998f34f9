#pragma once

#include <QPixmap>

class QEvent;
class QPainter;
class QWidget;

namespace tarvek {

// What a widget's parent paints behind it, taken once and drawn beneath the
// widget's own painting. With it the widget can be opaque
// (Qt::WA_OpaquePaintEvent), so a repaint of the widget paints nothing of
// its parent: not a group box's frame and title, nor what lies under them.
class Backdrop {
  public:
    // Draws the picture, taking it first when there is none of the widget's size.
    void Draw(QWidget& widget, QPainter& painter);
    // Forgets the picture on what changes the part of the parent behind the
    // widget: a move, a new palette, style or font.
    void ForgetOn(const QEvent& event);

  private:
    QPixmap picture_;
};

} // namespace tarvek
