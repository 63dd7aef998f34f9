#pragma once

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

// What the set-up says of one channel, for a dashboard.
struct ChannelSetup {
    bool active = false;
    QString name, unit;
    // The alarm limits as JSON numbers (PlainNumber), nothing where the
    // set-up holds no number.
    std::optional<QByteArray> low, high;
};

// The retained last value of a channel: times, value, name, unit, limits and
// its state ("low", "high", "normal", "none" for a gap).
QByteArray ChannelPayload(const StoredValue& value, qint64 localMs, qint64 utcMs, const ChannelSetup& setup);

} // namespace tarvek
