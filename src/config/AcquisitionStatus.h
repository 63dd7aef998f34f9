#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

namespace tarvek {

// Opens, reads record 1 of, and closes the acquisition status file, creating
// it empty when missing. Nothing read is applied: the program always starts
// in stand-by.
FileOutcome ReadAcquisitionStatus(const QString& appFolder);

// Rewrites record 1 of the acquisition status file with `acquisitionFlag`: positions 1..21 and 23..43 as
// read, the flag at 22, blanks from 44 to 80 (no terminator: this record is the one that has none), synced to
// the disk. The file and the settings folder are created when missing.
FileOutcome WriteAcquisitionStatus(const QString& appFolder, const QString& acquisitionFlag);

} // namespace tarvek
