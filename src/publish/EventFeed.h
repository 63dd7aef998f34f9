#pragma once

#include "data/EventLog.h"
#include "data/MonthFolder.h"
#include "data/StoredTimeToUtc.h"

#include <QString>
#include <QStringList>

#include <map>
#include <set>
#include <vector>

namespace tarvek {

// Where one event is: record `record` (from 1) of the event log `file`
// ("mm-yyyy-Events.txt").
struct EventAt {
    QString file;
    qint64 record = 0;
    bool operator==(const EventAt&) const = default;
};

// A place in the event logs (and the seal files, "mm-yyyy-Seal.txt", by the
// lines passed): the records passed in each log by name; a log not named is
// read from its start. The logs are only ever appended to, so a
// name and a number say where to go on in each, whatever month the clock
// says.
struct EventPosition {
    std::map<QString, qint64> logs;
    void Pass(const EventAt& at) { logs[at.file] = at.record; }
    bool operator==(const EventPosition&) const = default;
};

// An event with its place and its times: the stored wall-clock time and the
// true time (UTC) by the system's zone, placed in stored order. Or, from the
// seal files, one seal line as it stands (`seal`) with its times, and where
// it tells of a finding, the system alarm it raises (`finding`, `event`).
struct FedEvent {
    EventAt position;
    Event event;
    qint64 localMs = 0, utcMs = 0;
    QByteArray seal = {};
    bool finding = false;
};

// The events of a data folder's event logs from a position on: the logs are
// the second durable queue beside the month files. Every log is followed by
// its own position, identity and growth, in calendar order, so events
// appended to an earlier month's log (a clock set back) are read; each log's
// events come in stored order. The logs are followed by MonthFolderFollower:
// regular files only, read-only, never through a link and never waiting on a
// FIFO. Whole records only, so a record still being written is read at the
// next step. A record that is no event record
// (torn by a power cut, then completed by the next writer) is skipped and
// counted. A log that cannot be read is passed over, its position kept.
class EventFeed {
  public:
    explicit EventFeed(QString folder, QTimeZone zone = QTimeZone::systemTimeZone())
        : follower_(std::move(folder), MonthFileKind::Events), toUtc_(std::move(zone)) {}

    // Also follows the seal files of `folder` by the same rules, after the
    // logs: every whole line comes as a FedEvent of its own, a finding as a
    // system alarm of kind `alarmKind` (ParseSealBytes).
    void FollowSeals(const QString& folder, const QString& alarmKind);

    void SeekAfter(const EventPosition& position);
    const EventPosition& Position() const { return position_; }

    // Appends up to `most` events after the position to `out` and moves past
    // them. False when a log cannot be read (Error() names the first and
    // why); the others are read all the same.
    bool Read(qint64 most, std::vector<FedEvent>& out);
    const QString& Error() const { return firstFailure_; }
    // Records skipped since the feed was made.
    qint64 Skipped() const { return skipped_; }
    // What was said of logs cut shorter or replaced since the last call.
    QStringList TakeNotes() { return std::exchange(notes_, {}); }
    // Logs found cut shorter or replaced (another file under the name) since
    // the feed was made; each is then read again from its start.
    qint64 Rewritten() const { return rewritten_; }
    // The newest log and those read at the last read, to watch.
    QStringList Watched() const;

  private:
    enum class Step { Read, AtEnd, Failed }; // Failed: lastFailure_ says why
    // Reads up to `most` events of `file`, the log `name` opened now;
    // `replaced`: another file than the one last read.
    Step ReadFile(MonthFolderFollower& from, const QString& name, const OpenedFile& file, bool replaced,
                  qint64 most, std::vector<FedEvent>& out);
    // The new records or lines of what `from` follows.
    void ReadFrom(MonthFolderFollower& from, qint64 wanted, std::vector<FedEvent>& out);

    MonthFolderFollower follower_;
    std::optional<MonthFolderFollower> seals_;
    QString alarmKind_;
    StoredTimeToUtc toUtc_;
    EventPosition position_;
    QString firstFailure_, lastFailure_; // of the last read
    qint64 skipped_ = 0, rewritten_ = 0;
    QStringList notes_, read_;
    std::set<QString> atEnd_; // the logs read to their end, unchanged since
};

} // namespace tarvek
