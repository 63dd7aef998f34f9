#pragma once

#include "common/RecordFile.h"
#include "common/SharedFile.h"
#include "data/EventRecord.h"

#include <QStringList>

#include <vector>

namespace tarvek {

// The event logs of a data folder, datafiles/mm-yyyy-Events.txt: 160-byte
// records, record n at byte 160 * (n - 1), appended by the logger and by
// whoever acknowledges an alarm, never overwritten.

// An event and the number of its record in its file (from 1).
struct LoggedEvent {
    qint64 record = 0;
    Event event;
};

// The events of a file's bytes, record by record. A record that is not an
// event record (a filler, a foreign line, one torn by a power cut and
// completed by the next writer) and a torn last record are skipped and
// counted.
struct EventBytes {
    std::vector<LoggedEvent> events;
    int skipped = 0;
};
EventBytes ParseEventBytes(QByteArrayView bytes, qint64 firstRecord = 1);

// A whole event file, read with the rules of shared folders: a link (unless
// followed), a FIFO, a device or a second hard link is refused, never waited
// on. `problem` names the path and the reason; a missing file is no problem.
// From record `fromRecord` + 1 on when given: what was appended since.
struct EventFileRead : EventBytes {
    bool missing = false;
    QString problem;
    qint64 bytes = 0; // read, from the first record asked for
};
EventFileRead ReadEventFile(const QString& path, LinkPolicy links = LinkPolicy::Refuse,
                            qint64 fromRecord = 0);

// The names of the event files in `folder`, oldest month first.
QStringList EventFilesIn(const QString& folder);

// Appends the records of `events` to the file at `path` in one write through
// an O_APPEND descriptor (so other writers' records are never overwritten),
// then syncs it, and its folder when the file is new: on success every record
// is on the disk. The file is created (mode 664) where missing; a link, a
// FIFO or a second hard link in its place is refused and named. A torn last
// record is first completed with blanks, so every record stays at its place.
FileOutcome AppendEvents(const QString& path, const std::vector<Event>& events);

// Who writes an event record (its user field): the login name of the
// process's real user (its passwd entry), or its number when it has none.
QString RealUserName();

} // namespace tarvek
