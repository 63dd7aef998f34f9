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
    // For a limit that cannot be used: why, as its UNREADABLE record says;
    // for an instrument value that cannot be used: what that means.
    QString unusable;
    bool limit = false; // an alarm minimum or maximum
};
// The fields the audit follows: serial line, storage rate; per channel
// description, decimals, unit, gain, zero, active, minimum, maximum, deadband,
// on-delay; no value polls, no answer polls; the protocol and, for Modbus
// RTU, the line's and the channels' instrument set-up.
std::vector<SetUpField> SetUpFieldsOf(const Declarations::SetUpState& setUp, const AlarmParameters& alarms);

// The last value of each field, by name, as the logs hold it.
using SetUpTrail = std::map<QString, QString>;

// The SET-UP records (kind, channel, event, text) that take `now` in use after
// `last`; date, time and user are left to the caller. A limit that cannot be
// used (no number, or a minimum not below the maximum), or an instrument
// value that cannot be used, is named by an UNREADABLE record after the one
// that takes it in use, once.
std::vector<Event> CompareSetUp(const SetUpTrail& last, const std::vector<SetUpField>& now);

// Takes in one record of the logs: IN USE and CHANGED set the field they name.
void TakeSetUp(SetUpTrail& trail, const Event& event);

} // namespace tarvek
