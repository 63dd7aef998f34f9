#pragma once

#include <QtGlobal>

#include <optional>

namespace tarvek {

// The one layout of a 160-byte data record, shared by writer and reader.
// Offsets from 0: 0 "dd-mm-yyyy;hh:mm:ss;", 20 eight blocks of 17 (9-character
// value, blank, "; Bar ;"), 156 " *" CR LF. Header (record 1): "Lastrecord;   ",
// the count right-aligned in 5, ";", then blanks with ";" as in a data record.
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

// Where a file's data records end, for the logger (stores after it) and the
// viewer (shows up to it). Below MaxDataRecords the last whole record counts
// whatever the header says, so a bad count never overwrites data; from then
// on the header's count does (record 99999 if unreadable). A count one behind
// is a store in progress, not damage.
struct DataFileEnd {
    int last = 0; // the number of the last data record that counts
    // The count is unreadable or names another record (one behind is fine).
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
