#include "publish/EventPayload.h"

#include "data/NumberText.h"
#include "data/StoredTime.h"
#include "publish/Payload.h"

#include <limits>

namespace tarvek {

namespace {

QByteArray NumberOrNull(const QString& text) {
    return PlainNumber(text).value_or("null");
}

QByteArray TimeJson(const std::optional<qint64>& ms, const char* zone = "") {
    return ms ? '"' + StoredTimeText(*ms) + zone + '"' : QByteArrayLiteral("null");
}

const char* StateName(AlarmState state) {
    switch (state) {
    case AlarmState::ActiveUnacknowledged:
        return "active-unacknowledged";
    case AlarmState::ActiveAcknowledged:
        return "active-acknowledged";
    case AlarmState::ClearedUnacknowledged:
        break;
    }
    return "cleared-unacknowledged";
}

} // namespace

QByteArray EventPayload(const FedEvent& fed) {
    const Event& e = fed.event;
    QByteArray out = "{\"file\":" + JsonString(fed.position.file) +
                     ",\"record\":" + QByteArray::number(fed.position.record);
    out += ",\"time\":\"" + StoredTimeText(fed.localMs) + "\",\"utc\":\"" + StoredTimeText(fed.utcMs) + "Z\"";
    out += ",\"kind\":" + JsonString(e.kind);
    out += ",\"channel\":" + (e.channel > 0 ? QByteArray::number(e.channel) : QByteArray("null"));
    out += ",\"event\":" + JsonString(e.name) + ",\"value\":" + NumberOrNull(e.value);
    out += ",\"limit\":" + NumberOrNull(e.limit) + ",\"user\":" + JsonString(e.user);
    out += ",\"text\":" + JsonString(e.text) + '}';
    return out;
}

AlarmPayloads AlarmStatePayloads(const AlarmFold& fold, StoredTimeToUtc& clock) {
    AlarmPayloads lists;
    for (const CurrentAlarm& a : fold.alarms) {
        if (a.channel < 0 || a.channel >= int(lists.size()))
            continue;
        // Null, never an invented time, where the fold took an event that
        // is none of a log (ParseEventRecord reads no such record).
        const std::optional<qint64> since = EventStamp(a.sinceDate, a.sinceTime);
        const auto utc = since ? std::optional(clock.ToUtcAfter(*since, std::numeric_limits<qint64>::min()))
                               : std::nullopt;
        QByteArray& list = lists[a.channel];
        list += list.isEmpty() ? "" : ",";
        list += "{\"kind\":" + JsonString(a.kind) + ",\"state\":\"" + StateName(a.state);
        list += "\",\"since\":" + TimeJson(since) + ",\"utc\":" + TimeJson(utc, "Z");
        list += ",\"value\":" + NumberOrNull(a.value) + ",\"limit\":" + NumberOrNull(a.limit) + '}';
    }
    for (QByteArray& list : lists)
        list = "{\"alarms\":[" + list + "]}";
    return lists;
}

QString AlarmTopic(const QString& prefix, int channel) {
    return prefix +
           (channel > 0 ? QStringLiteral("/alarm/%1").arg(channel) : QStringLiteral("/alarm/logger"));
}

} // namespace tarvek
