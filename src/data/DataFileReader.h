#pragma once

#include "data/DataRecord.h"
#include "data/MonthFolder.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace tarvek {

// What one read of a data file found besides its records.
struct ReadTally {
    qint64 blank = 0;     // blank filler records among the counted ones
    qint64 notData = 0;   // counted records that are not data records
    qint64 uncounted = 0; // whole records after the one the header counts, in a full file
    qint64 torn = 0;      // short last records (one per file at most)

    qint64 Skipped() const { return blank + notData + uncounted + torn; }
    ReadTally& operator+=(const ReadTally& t) {
        blank += t.blank, notData += t.notData, uncounted += t.uncounted, torn += t.torn;
        return *this;
    }
};

// The records of an open data file that count (DataFileEnd), from the
// header's count and the file's size.
struct CountedRecords {
    qint64 whole = 0; // whole records, the header included
    qint64 count = 0; // the number of the last data record that counts
    std::optional<int> headerCount;
    bool countDisagrees = false;
};
// Nothing when the header cannot be read: `reason` says why.
std::optional<CountedRecords> CountRecords(int fd, qint64 size, QString* reason);
// Calls `each` with the number and the 160 bytes of records `from` + 1 ..
// `from` + `n` (record 1 is the header), read in chunks. False when they
// cannot be read: `reason` says why; the records before were passed on.
bool ReadRecords(int fd, qint64 from, qint64 n, const std::function<void(qint64, const char*)>& each,
                 QString* reason);

// Reads a data file opened read-only without locking or blocking (regular
// files only); later calls read only what was added, for the follow mode. It reads
// the records DataFileEnd says count; torn, uncounted, blank and not-data
// records are left out and tallied.
class DataFileCursor {
  public:
    explicit DataFileCursor(QString path) : path_(std::move(path)) {}

    enum class Outcome { Ok, Restarted, Failed };
    // Appends the records counted since the last call to `out`, read from
    // `file`, the file at Path() as opened now. Restarted:
    // the file now counts fewer records than were read (it was replaced or
    // cut), so everything was read again from the start and `out` holds the
    // whole file; the caller drops what it had from this file. Failed: the
    // file could not be opened or cannot be read; Error() says why, naming
    // the file.
    Outcome ReadNew(const OpenedFile& file, std::vector<StoredRecord>& out);

    const QString& Path() const { return path_; }
    const QString& Error() const { return error_; }
    // CountDisagreesText when the header's count disagrees with the records
    // (a store in flight aside), else empty; as of the last read.
    const QString& CountNote() const { return countNote_; }
    // The tally of the file as of the last read.
    const ReadTally& Tally() const { return tally_; }
    // Records counted so far (data, blank and not data).
    qint64 RecordsCounted() const { return read_; }

  private:
    QString path_;
    QString error_;
    QString countNote_;
    ReadTally tally_;
    qint64 read_ = 0;
};

} // namespace tarvek
