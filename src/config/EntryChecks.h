#pragma once

#include "common/Declarations.h"

#include <QString>

namespace tarvek {

// Indices of the two general entry boxes in the Text5 array.
constexpr int SerialLineBox = 4;
constexpr int StorageRateBox = 5;

// What the check of one Text5 box leaves behind.
struct EntryCheck {
    QString text;             // the box's text after the check
    bool setsCaption = false; // true: the storage rate name follows the box
    QString caption;          // the caption of Label9(5) when setsCaption
};

// The check run on Enter in, and focus loss by, Text5(index):
//   4 (serial line): a leading number outside 1..8 is replaced by "1";
//   5 (storage rate): a leading number outside 0..9 is replaced by "0", and
//     the caption becomes the name of the (possibly replaced) text's rate;
//   any other index: nothing.
// Bounds are inclusive and compared as reals (8.5 is out, 7.5 is in); a text
// in range is kept exactly as typed. The check never touches SerialLine,
// StorageRate or the files.
EntryCheck CheckEntry(const Declarations::RateNames& names, int index, const QString& text);

// Whether `n` numbers a channel (1..8), as the control arrays count them.
bool IsChannelNumber(int n);

// Left edge that centres a frame of `frameWidth` on a screen of `screenWidth`:
// half the difference, rounded down (so negative when the frame is wider).
int CentredLeft(int screenWidth, int frameWidth);

} // namespace tarvek
