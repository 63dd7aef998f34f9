#pragma once

#include <QtGlobal>

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

// Where the data records of a data file of `wholeRecords` whole records
// (the header included) end, given the count its header holds (nothing when
// unreadable). The logger stores after that record; the viewer shows up to it.
//
// While the file holds fewer than MaxDataRecords whole data records, the last
// whole one counts, whatever the header says: a damaged count never gets a
// stored record overwritten, and a record written before a kill, its count
// not yet raised, is kept. A file of MaxDataRecords records or more keeps the
// header's count (after record 99999 the count starts again at 1), unless it
// is unreadable; then record 99999 counts.
//
// The count disagrees when it is unreadable or names another record; one
// record behind is the state of a store between its record and its count,
// not damage.
struct DataFileEnd {
    int last = 0; // the number of the last data record that counts
    bool countDisagrees = false;
};
inline DataFileEnd LastDataRecord(qint64 wholeRecords, std::optional<int> headerCount) {
    const qint64 data = wholeRecords - 1;
    if (data <= 0)
        return {};
    if (data < MaxDataRecords) {
        const int last = int(data);
        return {last, headerCount ? *headerCount != last && *headerCount != last - 1 : last > 1};
    }
    if (headerCount)
        return {*headerCount, false};
    return {MaxDataRecords, true};
}

// The Julian day of 1970-01-01, where stored stamps count their milliseconds from.
inline constexpr qint64 UnixEpochDay = 2440588;

} // namespace tarvek
