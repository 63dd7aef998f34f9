#pragma once

#include "publish/EventFeed.h"
#include "publish/RecordFeed.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvek {

// Where the publisher stands: in the month files and in the event logs as
// the broker acknowledged them, and in the logs after the last event
// notified.
struct PublishState {
    RecordPosition records;
    EventPosition events, notified;
    bool operator==(const PublishState&) const = default;
};

// The state file: "tarvek-publish state 4", then "utc=" and the true time of
// the last acknowledged record, "events=" and "notified=" each with every
// event log and its records passed, and each seal file and its lines passed
// ("events=11-2026-Events.txt 3 12-2026-Events.txt 7 12-2026-Seal.txt 40"), then one line per month file: its
// name, the number of its last acknowledged record and that record's bytes (base 64). Opened without
// following a link or blocking, regular files only; saved through a new file, synced and renamed over the old
// one (mode 0600), so a crash or a power cut leaves the old state or the new one. LoadState gives nothing and
// no error when there is no file yet; a file of any other layout is refused,
// saying how to recover.
std::optional<PublishState> LoadState(const QString& path, QString* error);
bool SaveState(const QString& path, const PublishState& state, QString* error);
// The state text, and back (nothing for a text that is no state).
QByteArray StateText(const PublishState& state);
std::optional<PublishState> ParseState(const QByteArray& text);

} // namespace tarvek
