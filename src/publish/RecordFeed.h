#pragma once

#include "data/DataFileReader.h"
#include "data/MonthFolder.h"
#include "publish/EventFeed.h"
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
// change. In the state file beside it: the place in the event logs as the
// broker acknowledged it, and after the last event notified (nothing in a
// state written before events were sent).
struct FeedPosition {
    std::map<QString, FilePosition> files;
    std::optional<qint64> utcMs;
    std::optional<EventPosition> events, notified;
    bool operator==(const FeedPosition&) const = default;
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

    void SeekAfter(const FeedPosition& position);
    const FeedPosition& Position() const { return position_; }

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
    std::optional<FeedPosition>
    Skipping(const std::function<bool(const QString&, const StoredRecord&)>& skip);

  private:
    struct Seen {
        bool atEnd = false;
        qint64 scanned = 0; // the highest record tallied
        qint64 notData = 0;
        qint64 notDataSaid = 0;
        QString failure; // the reason said, while it lasts
    };
    enum class Step { Read, AtEnd, Failed };
    Step ReadFile(const QString& name, qint64 most, std::vector<FedRecord>& out);
    void Note(const QString& name, const QString& text);

    MonthFolderFollower follower_;
    FeedPosition position_;
    std::map<QString, Seen> seen_;
    QStringList unreadable_, read_, notes_;
    qint64 notDataTotal_ = 0;
};

// Where a first run starts in `feed`'s folder, as `start` says; after a
// state of the former layout, after `formerKey`'s earlier month files.
// Nothing when a month file cannot be read.
std::optional<FeedPosition> StartingPosition(RecordFeed& feed, const StartFrom& start,
                                             std::optional<int> formerKey);

// The state file: the position in every month file as the broker
// acknowledged it. Opened without following a link or blocking, regular files
// only; saved through a new file, synced and renamed over the old one (mode
// 0600), so a crash or a power cut leaves the old state or the new one.
// LoadPosition gives nothing and no error when there is no file yet; a state
// of the former layout (one file and its record) sets `formerKey` to that
// file's MonthKey: every earlier month file was sent. A state without the
// event places (layout 2) is written again as it was; with them, as layout 4
// (each log and its records passed). Layout 3 (one log and its record, every
// earlier log passed) is read, its earlier logs marked by `passedBefore`.
std::optional<FeedPosition> LoadPosition(const QString& path, QString* error, std::optional<int>* formerKey);
bool SavePosition(const QString& path, const FeedPosition& position, QString* error);
// The state text, and back (nothing for a text that is no state).
QByteArray PositionText(const FeedPosition& position);
std::optional<FeedPosition> ParsePosition(const QByteArray& text, std::optional<int>* formerKey);

} // namespace tarvek
