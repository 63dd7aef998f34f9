#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

namespace tarvek {

// StorageRateName(0..9), `names`, receives the ten storage rate names in code order;
// slot 10 stays empty.
void FillNameTables(Declarations::RateNames& names);

// Opens, reads record 1 of, and closes the acquisition status file, creating
// it empty when missing. Nothing read is applied: the program always starts
// in stand-by.
FileOutcome ReadAcquisitionStatus(const QString& appFolder);

// Texts of the status bar panels written at start-up.
QString SerialLinePanelText(int serialLine); // "Com:" and the number, a blank before a non-negative one
inline const QString VersionText = QStringLiteral("Ver. 05-02-08");

} // namespace tarvek
