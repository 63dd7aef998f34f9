#pragma once

#include "common/Channels.h"
#include "data/StoredValue.h"

#include <QString>

#include <array>
#include <optional>

namespace tarvek {

// The one layout of a 160-byte data record, shared by writer and reader.
// Offsets from 0: 0 "dd-mm-yyyy;hh:mm:ss;", 20 eight blocks of 17 (9-character
// value, blank, "; Bar ;"), 156 " *" CR LF. Header (record 1): "Lastrecord;   ",
// the count right-aligned in 5, ";", then blanks with ";" as in a data record.
inline constexpr int DataRecordLength = 160;
inline constexpr int DateWidth = 10;                           // "dd-mm-yyyy"
inline constexpr int TimeWidth = 8;                            // "hh:mm:ss"
inline constexpr int DayAt = 0, MonthAt = 3, YearAt = 6;       // in the date
inline constexpr int HourAt = 0, MinuteAt = 3, SecondAt = 6;   // in the time
inline constexpr int TimeAt = DateWidth + 1;                   // "hh" at 11, "mm" at 14, "ss" at 17
inline constexpr int FirstChannelField = 20;                   // after the date, the time and their ";"
inline constexpr int ValueWidth = 9;                           // a value text, right-aligned
inline constexpr int ValueFieldWidth = ValueWidth + 1;         // the value text and its blank
inline constexpr char UnitText[] = "; Bar ;";                  // after every value field
inline constexpr int ChannelFieldLength = ValueFieldWidth + 7; // value field and UnitText
inline constexpr char RecordEnding[] = " *\r\n";               // the last four bytes of a data record
inline constexpr int HeaderCountAt = 14;                       // after "Lastrecord;   "
inline constexpr int HeaderCountWidth = 5;

// The value texts of the two gaps: no reading, and a reading that is unusable
// (invalid, or a value too wide for its field).
inline constexpr char NoDataValue[] = " No Data ";
inline constexpr char InvalidValue[] = " ======= ";

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

// A record's date and time as stored, counted in milliseconds from
// 1970-01-01 00:00 on the wall clock (as if it were UTC), and its values.
struct StoredRecord {
    qint64 localMs = 0;
    std::array<StoredValue, ChannelCount> values{};
};

enum class RecordKind { Data, Blank, NotData };

// Parses one 160-byte record in the layout of DataRecord.h; " No Data " and
// " ======= " are gaps. Blank filler ending "*" CR LF is Blank; anything else
// that does not match exactly (an impossible date or time included) is
// NotData and gives no values.
RecordKind ParseDataRecord(const char* bytes, StoredRecord* record);

// A value text of ValueWidth characters at `text`, as a data record holds it:
// its digits, or a gap; nothing for any other text.
std::optional<StoredValue> ParseValueText(const char* text);

// `body` cut or blank-padded to its 157 characters, then "*" CR LF.
QString DataRecordOf(const QString& body);

// Record 1 of a data file, counting `count` records: "Lastrecord;   ", the
// count right-aligned in 5, ";", eight empty column blocks, " *" CR LF.
QString DataFileHeader(int count);

// The count held in a header record (positions 15 to 19), or nothing when
// they hold no whole number from 1 to 99999.
std::optional<int> ReadHeaderCount(const QString& headerRecord);

// "<path>: the header counts N, the file holds M data records": what a count
// that disagrees is reported with.
QString CountDisagreesText(const QString& path, std::optional<int> headerCount, qint64 fileSize);

// The Julian day of 1970-01-01, where stored stamps count their milliseconds from.
inline constexpr qint64 UnixEpochDay = 2440588;

} // namespace tarvek
