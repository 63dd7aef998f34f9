#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace tarvek {

// The program's pictures, drawn in code so that no image file has to travel
// with the executable.

QIcon WindowIcon();               // the main window: a trace on a small screen
QPixmap LoadPicture(int size);    // the Load button: a sheet coming out of a tray
QPixmap SavePicture(int size);    // the Save button: a sheet going into a tray
QPixmap TracePicture(QSize size); // decoration: a logged curve on a grid
QPixmap GaugePicture(int size);   // decoration: a dial gauge

// A colour value with red in the low byte, green in the middle byte and blue
// in the high byte (255 red, 65280 green, 65535 yellow).
QColor ColourFromValue(int value);

} // namespace tarvek
