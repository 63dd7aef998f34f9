#pragma once

#include "data/EventLog.h"

#include <QDateTime>

#include <vector>

namespace tarvek {

// The current alarms, as the event logs tell them: the one rule by which the
// logger (at a restart), the viewer and the publisher see which alarms stand.
// RAISED makes an alarm active and unacknowledged; ACKNOWLEDGED makes an
// active one acknowledged and removes one back to normal; CLEARED removes an
// acknowledged one and leaves an unacknowledged one listed, back to normal.
enum class AlarmState { ActiveUnacknowledged, ActiveAcknowledged, ClearedUnacknowledged };

struct CurrentAlarm {
    QString kind;    // HIGH, LOW, NO VALUE, NO ANSWER, NOT STORED
    int channel = 0; // 0 for the logger's own
    AlarmState state = AlarmState::ActiveUnacknowledged;
    QString sinceDate, sinceTime; // when it was raised
    QString value, limit;         // of its last RAISED or CLEARED record
    QString text;                 // of its RAISED record
    bool Active() const { return state != AlarmState::ClearedUnacknowledged; }
    bool operator==(const CurrentAlarm&) const = default;
};

// Whether `kind` names one of the alarms.
bool IsAlarmKind(const QString& kind);

// What an alarm is, in words, its channel by `channelName`: the one wording
// of the logger's desktop notice, the viewer's list and the publisher's
// notification. "Boiler above maximum", "Ch.2 below minimum", "Flow without
// a value", "Instrument not answering", "Records not stored".
QString AlarmText(const QString& kind, const QString& channelName);

struct AlarmFold {
    std::vector<CurrentAlarm> alarms; // in the order they were raised
    // Acquisition stopped (its last STOPPED, or a PROGRAM STARTED, after its
    // last STARTED): nobody watches since then.
    bool stopped = false;
    QString stoppedDate, stoppedTime;

    // Takes in one more event, in stored order.
    void Take(const Event& event);
};

AlarmFold FoldEvents(const std::vector<LoggedEvent>& events);

// The records that acknowledge `alarms`: one ACKNOWLEDGED record each,
// stamped `now`, with `user` and the comment as its text.
std::vector<Event> Acknowledgements(const std::vector<CurrentAlarm>& alarms, const QString& user,
                                    const QString& comment, const QDateTime& now);

} // namespace tarvek
