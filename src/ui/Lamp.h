#pragma once

#include "acquisition/AcquisitionView.h"

#include <QHash>
#include <QPixmap>
#include <QWidget>

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
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    int colour_ = 0;
    QHash<int, QPixmap> pictures_; // the disc drawn, by colour
    QPixmap background_;           // what the parent paints behind the lamp
};

// Words for the lamp's colour values: "red", "green", "yellow"; any other
// value as "#rrggbb".
QString LampColourWord(int value);
