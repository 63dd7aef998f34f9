#pragma once

#include "common/Declarations.h"
#include "config/AlarmParameters.h"
#include "data/EventRecord.h"

#include <map>
#include <vector>

namespace tarvek {

// The audit trail of the set-up in use, kept in the event logs: at a start and
// at each Load the logger writes one SET-UP record per field that differs
// from the last set-up the logs hold ("Ch.3 gain 1 -> 1.02"), or, for a field
// the logs hold nothing of, its value ("Ch.3 gain 1", IN USE).

// One field of the set-up in use: its name in the records ("storage rate",
// "Ch.3 gain"), its channel (0 for the logger's own) and its value text.
struct SetUpField {
    QString name;
    int channel = 0;
    QString value;
    // Why the field cannot be used, as its UNREADABLE record says: a limit
    // that is no number or a minimum not below its maximum, an instrument
    // value that cannot be used.
    QString unusable;
    bool limit = false; // an alarm minimum or maximum: its value is the record's limit
};
// The fields the audit follows: serial line, storage rate; per channel
// description, decimals, unit, gain, zero, active, minimum, maximum, deadband,
// on-delay; no value polls, no answer polls; the protocol and, for Modbus
// RTU, the line's and the channels' instrument set-up.
std::vector<SetUpField> SetUpFieldsOf(const Declarations::SetUpState& setUp, const AlarmParameters& alarms);

// The last value of each field, by name, as the logs hold it.
using SetUpTrail = std::map<QString, QString>;

// The SET-UP records (kind, channel, event, text) that take `now` in use after
// `last`; date, time and user are left to the caller. A field that cannot be
// used (SetUpField::unusable) is named by an UNREADABLE record after the one
// that takes it in use, once.
std::vector<Event> CompareSetUp(const SetUpTrail& last, const std::vector<SetUpField>& now);

// Takes in one record of the logs: IN USE and CHANGED set the field they name.
void TakeSetUp(SetUpTrail& trail, const Event& event);

} // namespace tarvek
