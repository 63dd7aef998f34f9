#pragma once

#include "data/DataFileReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarvek {

// A place in the stored data: after record `number` of month file `file`,
// whose 160 bytes were `bytes` (to notice a file replaced under the same
// name). An empty file name stands before every file; number 0 before the
// first record of `file`.
struct Mark {
    QString file;
    qint64 number = 0;
    QByteArray bytes;
    bool operator==(const Mark&) const = default;
};

// A stored record with its place.
struct FedRecord {
    Mark mark;
    StoredRecord record;
};

// The month files ("mm-yyyy-Data.txt") of a folder, in calendar order.
QStringList MonthFileNames(const QString& folder);

// The records of a data folder in stored order from a mark on: the logger's
// own files are the publisher's durable queue. Regular files only, read-only,
// counted records only. A file replaced or cut since the mark is read again
// from its start, and TakeNotes() says so.
class RecordFeed {
  public:
    explicit RecordFeed(QString folder) : folder_(std::move(folder)) {}

    void SeekAfter(const Mark& mark) { mark_ = mark; }
    const Mark& Position() const { return mark_; }

    // Appends up to `most` records after the position to `out` and moves
    // past them. False when a file cannot be read (Error() says why, naming
    // it); what was read before stays in `out`.
    bool Read(qint64 most, std::vector<FedRecord>& out);
    // The month file the position is in, empty before any.
    QString CurrentPath() const { return mark_.file.isEmpty() ? QString() : folder_ + u'/' + mark_.file; }
    const QString& Folder() const { return folder_; }
    const QString& Error() const { return error_; }
    // What was said of replaced or cut files since the last call.
    QStringList TakeNotes() { return std::exchange(notes_, {}); }

    // The mark after the last record stored in the newest month file (before
    // everything when there is none).
    std::optional<Mark> EndMark();

  private:
    enum class Step { Read, AtEnd, Failed };
    Step ReadFile(qint64 most, std::vector<FedRecord>& out);

    QString folder_;
    Mark mark_;
    QString error_;
    QStringList notes_;
};

// The state file: the last record the broker acknowledged. Written to a new
// file that is synced and then renamed over the old one, so a crash or a
// power cut leaves either the old mark or the new one.
std::optional<Mark> LoadMark(const QString& path, QString* error); // nothing and no error: no file yet
bool SaveMark(const QString& path, const Mark& mark, QString* error);

} // namespace tarvek
