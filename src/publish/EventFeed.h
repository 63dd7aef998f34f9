#pragma once

#include "data/DataFileReader.h"
#include "data/EventLog.h"
#include "data/StoredTimeToUtc.h"

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace tarvek {

// One event's place: record `record` (from 1) of the event log `file`
// ("mm-yyyy-Events.txt").
struct EventPlace {
    QString file;
    qint64 record = 0;
    bool operator==(const EventPlace&) const = default;
};

// A place in the event logs: the records passed in each log by name; a log
// not named is read from its start. The logs are only ever appended to, so a
// name and a number say where to go on in each, whatever month the clock
// says. `passedBefore`, from a state of the former layout (one log and its
// record), is a month key: every log of an earlier month is passed as it
// stands when the publisher starts (PassEarlierLogs).
struct EventPosition {
    std::map<QString, qint64> logs;
    int passedBefore = -1;
    void Pass(const EventPlace& place) { logs[place.file] = place.record; }
    bool operator==(const EventPosition&) const = default;
};

// What a feed of `folder` watches: the files it read at its last read and
// the newest of `files` (calendar order), where the logger appends next.
QStringList WatchedPaths(const QString& folder, const QStringList& read, const QStringList& files);

// An event with its place and its times: the stored wall-clock time and the
// true time (UTC) by the system's zone, placed in stored order.
struct FedEvent {
    EventPlace position;
    Event event;
    qint64 localMs = 0, utcMs = 0;
};

// The events of a data folder's event logs from a position on: the logs are
// the second durable queue beside the month files. Every log is followed by
// its own position, identity and growth, in calendar order, so events
// appended to an earlier month's log (a clock set back) are read; each log's
// events come in stored order. Regular files only, read-only, never through
// a link and never waiting on a FIFO; whole records only, so a record still
// being written is read at the next step. A record that is no event record
// (torn by a power cut, then completed by the next writer) is skipped and
// counted. A log that cannot be read is passed over, its position kept.
class EventFeed {
  public:
    explicit EventFeed(QString folder, QTimeZone zone = QTimeZone::systemTimeZone())
        : folder_(std::move(folder)), clock_(std::move(zone)) {}

    void SeekAfter(const EventPosition& position);
    const EventPosition& Position() const { return position_; }

    // Appends up to `most` events after the position to `out` and moves past
    // them. False when a log cannot be read (Error() names the first and
    // why); the others are read all the same.
    bool Read(qint64 most, std::vector<FedEvent>& out);
    const QString& Error() const { return error_; }
    // Records skipped since the feed was made.
    qint64 Skipped() const { return skipped_; }
    // What was said of logs cut shorter or replaced since the last call.
    QStringList TakeNotes() { return std::exchange(notes_, {}); }
    // Logs found cut shorter or replaced (another file under the name) since
    // the feed was made; each is then read again from its start.
    qint64 Rewritten() const { return rewritten_; }
    // The event logs in calendar order, listed again only when the folder
    // changed.
    const QStringList& Files();
    // The newest log and those read at the last read, to watch.
    QStringList Watched();

  private:
    enum class Step { Read, AtEnd, Failed }; // Failed: failure_ says why
    Step ReadFile(const QString& name, qint64 most, std::vector<FedEvent>& out);

    struct Seen {
        quint64 inode = 0;
        qint64 size = 0;
    };

    QString folder_;
    StoredTimeToUtc clock_;
    EventPosition position_;
    QString error_, failure_; // the first failure of a read, the last one
    qint64 skipped_ = 0, rewritten_ = 0;
    QStringList notes_, read_;
    std::map<QString, Seen> seen_; // each log as last read
    FileStamp folderStamp_;
    QStringList files_;
};

} // namespace tarvek
