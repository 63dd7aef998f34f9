#pragma once

#include "acquisition/AcquisitionView.h"
#include "ui/Backdrop.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

namespace tarvek {

// The filled shape that shows the acquisition state. Its colour is a value
// with red in the low byte (LampRed, LampGreen, LampYellow); the word for the
// colour is its accessible description.
class Lamp : public QWidget {
    Q_OBJECT
  public:
    explicit Lamp(QWidget* parent = nullptr);
    void SetColour(int value);
    int Colour() const { return colour_; }
    QSize sizeHint() const override { return {40, 40}; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int colour_ = 0;
    QHash<int, QPixmap> pictures_; // the disc drawn, by colour
    Backdrop backdrop_;
};

// Words for the lamp's colour values: "red", "green", "yellow"; any other
// value as "#rrggbb".
QString LampColourWord(int value);

} // namespace tarvek
