#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvek {

// The one layout of a 160-byte event record of datafiles/mm-yyyy-Events.txt,
// for the logger that writes it and every reader (the viewer, the publisher,
// a site's own scripts). Latin-1, fields separated by ";", each padded with
// blanks and cut at its width, blank where it does not apply, then "*" CR LF:
//   1-10 date dd-mm-yyyy   12-19 time hh:mm:ss   21-31 kind   33 channel 1..8
//   35-46 event (Name)   48-56 value (the value text)   58-66 limit (right-aligned)
//   68-83 user   85-157 text
inline constexpr int EventRecordLength = 160;

struct EventColumn {
    int first; // position of its first character, from 1
    int width;
    bool rightAligned = false;
};
namespace EventColumns {
inline constexpr EventColumn Date{1, 10}, Time{12, 8}, Kind{21, 11}, Channel{33, 1}, Name{35, 12},
    Value{48, 9}, Limit{58, 9, true}, User{68, 16}, Text{85, 73};
inline constexpr int TerminatorAt = 158;
} // namespace EventColumns

// Kinds and events as the records spell them.
namespace EventKinds {
inline const QString High = QStringLiteral("HIGH"), Low = QStringLiteral("LOW"),
                     NoValue = QStringLiteral("NO VALUE"), NoAnswer = QStringLiteral("NO ANSWER"),
                     NotStored = QStringLiteral("NOT STORED"), Acquisition = QStringLiteral("ACQUISITION"),
                     Program = QStringLiteral("PROGRAM"), SetUp = QStringLiteral("SET-UP");
} // namespace EventKinds
namespace EventNames {
inline const QString Raised = QStringLiteral("RAISED"), Cleared = QStringLiteral("CLEARED"),
                     Acknowledged = QStringLiteral("ACKNOWLEDGED"), Started = QStringLiteral("STARTED"),
                     Stopped = QStringLiteral("STOPPED"), Changed = QStringLiteral("CHANGED"),
                     InUse = QStringLiteral("IN USE"), Unreadable = QStringLiteral("UNREADABLE");
} // namespace EventNames

// One event, its fields as texts without their padding; channel 0 is blank.
struct Event {
    QString date, time; // "dd-mm-yyyy", "hh:mm:ss"
    QString kind;
    int channel = 0;
    QString name;  // the Name column: RAISED, STARTED, IN USE...
    QString value; // the channel's value text, as stored (" No Data " kept)
    QString limit;
    QString user;
    QString text;
    bool operator==(const Event&) const = default;
};

// The record of `event`: every field fitted to its column; characters that
// are not printable (control characters) become blanks, so a record is
// always one line.
QString BuildEventRecord(const Event& event);

// The event a 160-byte record holds, or nothing when it is not an event
// record (torn, the separators, terminator or channel out of place, or a
// date or time that is none of the calendar, EventStamp): every event read
// has its time. Fields come back trimmed, the value text as it stands.
std::optional<Event> ParseEventRecord(QByteArrayView record);

} // namespace tarvek
