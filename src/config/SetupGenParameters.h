#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

namespace tarvek {

// Writes records 16 and 17 of the general parameters file from the texts of
// the serial line and storage rate boxes: the label as last read, the first
// character of the box (nothing for an empty box), blanks to position 77 and
// the terminator. Every other byte of the file stays as it was; the file is
// synced to the disk before success is returned. SerialLine and
// StorageRate do not change; they follow the next read.
FileOutcome SaveGeneralParameters(const QString& appFolder, const Declarations::TextTable& labels,
                                  const QString& serialLineText, const QString& storageRateText);

// Name of the storage rate that a text stands for: its leading number,
// rounded half to even; the empty text when that lies outside the name table.
QString StorageRateCaption(const Declarations::RateNames& names, const QString& text);

} // namespace tarvek
