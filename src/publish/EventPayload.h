#pragma once

#include "data/AlarmFold.h"
#include "data/StoredTimeToUtc.h"
#include "publish/EventFeed.h"

#include <QByteArray>

#include <array>

namespace tarvek {

// One event of the logs as its JSON object, fields in the record's order
// after its key (file, record) and times: kind, channel, event, value and
// limit with their stored digits, user, text; channel, value and limit are
// null where blank (or, for the value, a gap).
QByteArray EventPayload(const FedEvent& fed);

// The current alarms of the logger (index 0) and of channels 1 to 8, each as
// the retained JSON object of its topic: {"alarms":[...]} in the order they
// were raised, an empty list when all is well. `clock` gives the true time of
// each alarm's "since".
using AlarmPayloads = std::array<QByteArray, 9>;
AlarmPayloads AlarmStatePayloads(const AlarmFold& fold, StoredTimeToUtc& clock);

// "<prefix>/alarm/<n>" for channel n, "<prefix>/alarm/logger" for 0.
QString AlarmTopic(const QString& prefix, int channel);

} // namespace tarvek
