#pragma once

#include "common/Declarations.h"
#include "data/DataRecord.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace tarvek {

// One stored value as its digits: the number written without its point and
// the count of decimals (so "+12.345" is 12345 with 3, "-12345.68" is
// -1234568 with 2), or one of the two gaps. Packed into 32 bits, since a
// month of eight channels is kept whole in memory: a value text has at most
// eight digits, so the digits need 28 bits and the decimals the other 4.
class StoredValue {
  public:
    enum Gap : std::uint8_t { NoData = 14, Invalid = 15 };

    StoredValue() = default;
    static StoredValue FromDigits(std::int32_t digits, int decimals) {
        return StoredValue(digits * 16 + decimals);
    }
    static StoredValue FromGap(Gap gap) { return StoredValue(gap); }

    bool IsGap() const { return Decimals() >= NoData; }
    bool IsNoData() const { return Decimals() == NoData; }
    std::int32_t Digits() const { return code_ >> 4; }
    int Decimals() const { return code_ & 15; }
    // The value as the double nearest to the stored decimal number.
    // Inline: drawing, statistics and limits ask it of every value.
    double Value() const {
        constexpr double powers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13};
        return IsGap() ? 0.0 : double(Digits()) / powers[Decimals()];
    }
    // The stored number as plain decimal text: no "+", no leading blanks, the
    // stored decimals kept ("+12.345" gives "12.345", "-0.500" "-0.500").
    // A stored "-0.000" has lost its sign and gives "0.000". Gaps give "".
    QByteArray Text() const;
    // The same text written at `out` (room for 12 characters); its length.
    int WriteText(char* out) const;

    bool operator==(const StoredValue&) const = default;

  private:
    explicit StoredValue(std::int32_t code) : code_(code) {}
    std::int32_t code_ = NoData;
};

// A record's date and time as stored, counted in milliseconds from
// 1970-01-01 00:00 on the wall clock (as if it were UTC), and its values.
struct StoredRecord {
    qint64 localMs = 0;
    std::array<StoredValue, Declarations::ChannelCount> values{};
};

enum class RecordKind { Data, Blank, NotData };

// Parses one 160-byte record in the layout of DataRecord.h; " No Data " and
// " ======= " are gaps. Blank filler ending "*" CR LF is Blank; anything else
// that does not match exactly (an impossible date or time included) is
// NotData and gives no values.
RecordKind ParseDataRecord(const char* bytes, StoredRecord* record);

// What one read of a data file found besides its records.
struct ReadTally {
    qint64 blank = 0;     // blank filler records among the counted ones
    qint64 notData = 0;   // counted records that are not data records
    qint64 uncounted = 0; // whole records after the one the header counts, in a full file
    qint64 torn = 0;      // short last records (one per file at most)

    qint64 Skipped() const { return blank + notData + uncounted + torn; }
};

// What a follow step compares to see whether a file changed: its size, its
// modification time (ns) and its inode; `exists` false when it cannot be
// examined.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    bool exists = false;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const QString& path);

// Reads a data file read-only without locking or blocking (regular files
// only); later calls read only what was added, for the follow mode. It reads
// the records DataFileEnd says count; torn, uncounted, blank and not-data
// records are left out and tallied.
class DataFileCursor {
  public:
    explicit DataFileCursor(QString path) : path_(std::move(path)) {}

    enum class Outcome { Ok, Restarted, Failed };
    // Appends the records counted since the last call to `out`. Restarted:
    // the file now counts fewer records than were read (it was replaced or
    // cut), so everything was read again from the start and `out` holds the
    // whole file; the caller drops what it had from this file. Failed: the
    // file cannot be read; Error() says why, naming the file.
    Outcome ReadNew(std::vector<StoredRecord>& out);

    const QString& Path() const { return path_; }
    const QString& Error() const { return error_; }
    // CountDisagreesText when the header's count disagrees with the records
    // (a store in flight aside), else empty; as of the last read.
    const QString& CountNote() const { return countNote_; }
    // The file as it was at the last read.
    const FileStamp& Stamp() const { return stamp_; }
    // The tally of the file as of the last read.
    const ReadTally& Tally() const { return tally_; }
    // Records counted so far (data, blank and not data).
    qint64 RecordsCounted() const { return read_; }

  private:
    QString path_;
    QString error_;
    QString countNote_;
    FileStamp stamp_;
    ReadTally tally_;
    qint64 read_ = 0;
};

} // namespace tarvek
