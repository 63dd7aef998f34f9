#pragma once

#include "data/DataFileReader.h"
#include "data/MonthFolder.h"
#include "publish/PublishConfig.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace tarvek {

// Where the publisher stands in one month file: after record `number`, whose
// 160 bytes were `bytes` (to notice a file replaced under the same name);
// number 0 before its first record.
struct FilePosition {
    qint64 number = 0;
    QByteArray bytes;
    bool operator==(const FilePosition&) const = default;
};

// A place in the stored data: a position in every month file by name (a
// file without one is read from its start), and the true time of the last
// record passed, which places the next ones in the repeated hour of a clock
// change.
struct RecordPosition {
    std::map<QString, FilePosition> files;
    std::optional<qint64> utcMs;
    bool operator==(const RecordPosition&) const = default;
};

// A stored record with its place.
struct FedRecord {
    QString file;
    FilePosition position;
    StoredRecord record;
};

// The records of a data folder from a position on: the logger's own files are the
// publisher's durable queue. Every month file is followed by its own position
// and growth, in calendar order, so records stored into any of them (a clock
// set back, a file dated ahead) are read. Regular files only, read-only,
// counted records only. A file replaced or cut since the position is read again
// from its start; a file that cannot be read is passed over, its position
// kept, and tried again at every read. The folder and its files are followed
// by MonthFolderFollower; a file is opened again only when it is due or was
// not read to its end.
class RecordFeed {
  public:
    explicit RecordFeed(QString folder) : follower_(std::move(folder)) {}

    void SeekAfter(const RecordPosition& position);
    const RecordPosition& Position() const { return position_; }

    // Appends up to `most` records after the position to `out` and moves past
    // them; false when some file could not be read (Unreadable() names them).
    bool Read(qint64 most, std::vector<FedRecord>& out);
    const QString& Folder() const { return follower_.Folder(); }
    // The month files that could not be read at the last read.
    const QStringList& Unreadable() const { return unreadable_; }
    // Counted records that were not data records, since the start.
    qint64 NotData() const { return notDataTotal_; }
    // The newest month file and those read at the last read, to watch.
    QStringList Watched() const;
    // What was said of replaced, cut, unreadable, skipped or far-dated files
    // since the last call, each once.
    QStringList TakeNotes() { return std::exchange(notes_, {}); }

    // The position that passes over, in every month file, the records from its
    // start for which `skip` is true, up to the first for which it is not.
    // Nothing when a file cannot be read.
    std::optional<RecordPosition>
    Skipping(const std::function<bool(const QString&, const StoredRecord&)>& skip);

  private:
    // What the feed knows of one month file besides its position.
    struct Seen {
        bool atEnd = false;
        // Counted records that are not data records: how many, up to which
        // record (one read again from its start is not counted twice), and
        // how many the last note said.
        qint64 notDataRecords = 0, notDataUpTo = 0, notDataNoted = 0;
        QString failure; // the reason said, while it lasts
    };
    enum class Step { Read, AtEnd, Failed };
    Step ReadFile(const QString& name, qint64 most, std::vector<FedRecord>& out);
    void Note(const QString& name, const QString& text);

    MonthFolderFollower follower_;
    RecordPosition position_;
    std::map<QString, Seen> seen_;
    QStringList unreadable_, read_, notes_;
    qint64 notDataTotal_ = 0;
};

// Where a first run starts in the month files of `folder`, as `start` says:
// in each, before the first record stored at or after its time (`new`: after
// its last record, `all`: before every one). Nothing when a month file
// cannot be read.
std::optional<RecordPosition> StartingPosition(const QString& folder, const StartFrom& start);

} // namespace tarvek
