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

// The check on Enter or focus loss in Text5(index): index 4 (serial line)
// resets a leading number outside 1..8 to "1", index 5 (storage rate) one
// outside 0..9 to "0" and names its rate; bounds inclusive, compared as reals.
// Text in range is kept as typed; state and files are never touched.
EntryCheck CheckEntry(const Declarations::RateNames& names, int index, const QString& text);

} // namespace tarvek
