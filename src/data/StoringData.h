#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

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

inline constexpr int DataRecordLength = 160;
// The header count runs 1..99999, then starts again at 1.
inline constexpr int MaxDataRecords = 99999;

// Status panel text while storing fails, until a store succeeds again.
inline const QString DataNotStoredText = QStringLiteral(" Data not stored ");

// "mm-yyyy-Data.txt" for a scan stamped "dd-mm-yyyy".
QString DataFileName(const QString& scanDate);

// Record 1 of a data file, counting `count` records: "Lastrecord;   ", the
// count right-aligned in 5, ";", eight empty column blocks, " *" CR LF.
QString DataFileHeader(int count);

// The data record of the last scan: ScanDate, ScanTime and the eight value
// texts, each followed by a blank and "; Bar ;", then " *" CR LF.
QString BuildDataRecord(const Declarations& state);

// The count held in a header record (positions 15 to 19), or nothing when
// they hold no whole number from 1 to 99999.
std::optional<int> ReadHeaderCount(const QString& headerRecord);

// Appends the last scan's record to its month's data file in the datafiles
// folder (created when missing) and then raises the count in the header, so
// that the header never counts a record the file lacks. Each step is synced to
// the disk before the next, so this holds after a power cut too, and success
// means the record is on the disk. The file is opened and closed within the
// call.
//
// Where the header leaves off: after its count, as long as that record is in
// the file; otherwise (count unreadable or beyond the file's end) after the
// last whole record, so stored data is never overwritten on a guess and a torn
// tail is replaced by the next whole record. A torn tail the new record does
// not replace (the count names an earlier record) is completed with blanks.
// After 99999 records the count starts again at 1 and the oldest records are
// overwritten from record 2 on.
//
// A failure (folder or file unusable, disk full) is reported on stderr and
// returned; the file then holds whole records only and a consistent count.
FileOutcome StoreDataRecord(const Declarations& state);

// The month's data file of the last scan (its ScanDate).
QString DataFilePath(const Declarations& state);

} // namespace tarvek
