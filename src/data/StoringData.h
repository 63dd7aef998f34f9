#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"
#include "data/DataRecord.h"

#include <QString>

#include <optional>

namespace tarvek {

// --- Storage schedule ---

// Whether a scan at `timeText` ("hh:mm:ss") stores a record at storage rate
// `storageRate` (0 "Off" .. 9 "24 hours"): only at the fixed instants of the
// clock the rate names; any other rate never stores.
bool IsStoreDue(int storageRate, const QString& timeText);

// Sets StoreDue for the scan about to run, from StorageRate and the second
// the scan is stamped with (ScanTime), so that the decision and the stored
// stamp always agree, however late in its second the tick ran.
void CheckStorageDue(Declarations& state);

// --- Data files ---

// "mm-yyyy-Data.txt" for a scan stamped "dd-mm-yyyy".
QString DataFileName(const QString& scanDate);
// "mm-yyyy-Events.txt", the month's event log beside its data file.
QString EventFileName(const QString& scanDate);

// Record 1 of a data file, counting `count` records: "Lastrecord;   ", the
// count right-aligned in 5, ";", eight empty column blocks, " *" CR LF.
QString DataFileHeader(int count);

// The data record of the last scan: ScanDate, ScanTime and the eight value
// texts, each followed by a blank and "; Bar ;", then " *" CR LF.
QString BuildDataRecord(const Declarations& state);

// The count held in a header record (positions 15 to 19), or nothing when
// they hold no whole number from 1 to 99999.
std::optional<int> ReadHeaderCount(const QString& headerRecord);

// "<path>: the header counts N, the file holds M data records": what a count
// that disagrees is reported with.
QString CountDisagreesText(const QString& path, std::optional<int> headerCount, qint64 fileSize);

// Appends the last scan's record to its month file after the last record that
// counts, then raises the header's count, syncing each step: the count never
// names a missing record, even after a power cut. Failures are reported on
// stderr and returned, leaving whole records and a consistent count.
FileOutcome StoreDataRecord(const Declarations& state);

// The month's data file of the last scan (its ScanDate).
QString DataFilePath(const Declarations& state);

} // namespace tarvek
