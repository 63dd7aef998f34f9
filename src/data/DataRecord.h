#pragma once

#include <QtGlobal>

#include <algorithm>
#include <optional>

namespace tarvek {

// The 160-byte record of a data file, written by the logger and read by the
// viewer from this one description. Offsets count from 0:
//   0  "dd-mm-yyyy;hh:mm:ss;"
//   20 eight blocks of 17: a 9-character value text, a blank, "; Bar ;"
//   156 " *" CR LF
// The header (record 1) is "Lastrecord;   ", the count right-aligned in 5,
// ";", and eight blocks of blanks with ";" where a data record has them.
inline constexpr int DataRecordLength = 160;
inline constexpr int DateWidth = 10;                    // "dd-mm-yyyy"
inline constexpr int TimeWidth = 8;                     // "hh:mm:ss"
inline constexpr int FirstBlock = 20;                   // after the date, the time and their ";"
inline constexpr int ValueFieldWidth = 10;              // the value text and its blank
inline constexpr char UnitText[] = "; Bar ;";           // after every value field
inline constexpr int BlockLength = ValueFieldWidth + 7; // value field and UnitText
inline constexpr char RecordEnding[] = " *\r\n";        // the last four bytes of a data record
inline constexpr int HeaderCountAt = 14;                // after "Lastrecord;   "
inline constexpr int HeaderCountWidth = 5;

// The header count runs 1..99999, then starts again at 1.
inline constexpr int MaxDataRecords = 99999;

// Where a data file of `wholeRecords` whole records ends: the count of its
// last data record. The header's count, when the record it names is whole in
// the file; otherwise that of the last whole record, so nothing stored is
// overwritten and a torn tail is not counted.
inline qint64 LastCountedRecord(qint64 wholeRecords, std::optional<int> headerCount) {
    if (wholeRecords == 0)
        return 0;
    if (headerCount && *headerCount + 1 <= wholeRecords)
        return *headerCount;
    return std::min<qint64>(wholeRecords - 1, MaxDataRecords);
}

// The Julian day of 1970-01-01, where stored stamps count their milliseconds from.
inline constexpr qint64 UnixEpochDay = 2440588;

} // namespace tarvek
