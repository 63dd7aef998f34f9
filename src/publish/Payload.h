#pragma once

#include "config/ChannelSettings.h"
#include "data/DataFileReader.h"
#include "data/StoredTimeToUtc.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvek {

// `text` as a JSON string: quotes, backslashes and control characters escaped.
QByteArray JsonString(const QString& text);

// One stored record as its JSON object: file, record number, wall-clock
// time, UTC and the eight values with their stored digits, null for a gap.
QByteArray RecordPayload(const QString& fileName, qint64 number, const StoredRecord& record, qint64 utcMs);

// The retained last value of a channel: times, value, name, unit, the limits
// in use as numbers (null where none) and its state ("low", "high",
// "normal", "none" for a gap), then "problem" where the set-up's limits
// cannot be used (ChannelLimits::unusable).
QByteArray ChannelPayload(const StoredValue& value, qint64 localMs, qint64 utcMs,
                          const ChannelSettings& channel);

} // namespace tarvek
