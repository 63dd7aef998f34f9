#pragma once

#include "alarm/EventLog.h"
#include "data/DataFileReader.h"
#include "data/StoredTimeToUtc.h"

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace tarvek {

// A place in the event logs: after record `record` of event file `file`
// ("mm-yyyy-Events.txt"). An empty file name stands before every file. The
// logs are only ever appended to, so a name and a number say where to go on.
struct EventPosition {
    QString file;
    qint64 record = 0;
    bool operator==(const EventPosition&) const = default;
};

// The wall-clock time of an event record's date "dd-mm-yyyy" and time
// "hh:mm:ss" (0 for texts that are none).
qint64 EventLocalMs(const QString& date, const QString& time);

// An event with its place and its times: the stored wall-clock time and the
// true time (UTC) by the system's zone, placed in stored order.
struct FedEvent {
    EventPosition position;
    Event event;
    qint64 localMs = 0, utcMs = 0;
};

// The events of a data folder's event logs in stored order, oldest month
// first, from a position on: the logs are the second durable queue beside the
// month files. Regular files only, read-only, never through a link and never
// waiting on a FIFO; whole records only, so a record still being written is
// read at the next step. A record that is no event record (torn by a power
// cut, then completed by the next writer) is skipped and counted.
class EventFeed {
  public:
    explicit EventFeed(QString folder, QTimeZone zone = QTimeZone::systemTimeZone())
        : folder_(std::move(folder)), clock_(std::move(zone)) {}

    void SeekAfter(const EventPosition& position);
    const EventPosition& Position() const { return position_; }

    // Appends up to `most` events after the position to `out` and moves past
    // them. False when a log cannot be read (Error() names it and why); what
    // was read before stays in `out` and the position stays after it.
    bool Read(qint64 most, std::vector<FedEvent>& out);
    const QString& Error() const { return error_; }
    // Records skipped since the feed was made.
    qint64 Skipped() const { return skipped_; }
    // What was said of logs cut shorter or replaced since the last call.
    QStringList TakeNotes() { return std::exchange(notes_, {}); }
    // Logs found cut shorter or replaced (another file under the name) since
    // the feed was made, those passed before the position included. The log
    // at the position is then read again from its start.
    qint64 Rewritten() const { return rewritten_; }
    // The event logs in calendar order, listed again only when the folder
    // changed.
    const QStringList& Files();

  private:
    enum class Step { Read, AtEnd, Failed };
    Step ReadFile(qint64 most, std::vector<FedEvent>& out);
    // Notes the logs read before the position that were cut or replaced.
    void CheckPassed();

    struct Seen {
        quint64 inode = 0;
        qint64 size = 0;
    };

    QString folder_;
    StoredTimeToUtc clock_;
    EventPosition position_;
    QString error_;
    qint64 skipped_ = 0, rewritten_ = 0;
    QStringList notes_;
    std::map<QString, Seen> seen_; // each log as last read
    FileStamp folderStamp_;
    QStringList files_;
};

} // namespace tarvek
