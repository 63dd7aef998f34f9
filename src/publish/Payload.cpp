#include "publish/Payload.h"

#include "data/NumberText.h"
#include "data/StoredTime.h"

namespace tarvek {

namespace {

QByteArray ValueJson(const StoredValue& value) {
    return value.IsGap() ? QByteArrayLiteral("null") : value.Text();
}

} // namespace

QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) < 0x20)
            out += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

QByteArray RecordPayload(const QString& fileName, qint64 number, const StoredRecord& record, qint64 utcMs) {
    QByteArray out;
    out.reserve(200);
    out += "{\"file\":";
    out += JsonString(fileName);
    out += ",\"record\":" + QByteArray::number(number);
    out += ",\"time\":\"" + StoredTimeText(record.localMs);
    out += "\",\"utc\":\"" + StoredTimeText(utcMs);
    out += "Z\",\"values\":[";
    for (int k = 0; k < ChannelCount; ++k) {
        if (k > 0)
            out += ',';
        out += ValueJson(record.values[k]);
    }
    out += "]}";
    return out;
}

QByteArray ChannelPayload(const StoredValue& value, qint64 localMs, qint64 utcMs,
                          const ChannelSettings& channel) {
    const ChannelLimits& limits = channel.limits;
    const char* state = "none";
    if (!value.IsGap()) {
        // Both sides are decimal texts of at most 15 digits: compared as
        // doubles they order as the numbers do, a value at a limit included.
        const double v = value.Value();
        if (limits.Below(v))
            state = "low";
        else if (limits.Above(v))
            state = "high";
        else
            state = "normal";
    }
    QByteArray out =
        "{\"time\":\"" + StoredTimeText(localMs) + "\",\"utc\":\"" + StoredTimeText(utcMs) + "Z\",\"value\":";
    out += ValueJson(value);
    const auto limit = [](bool inUse, const LimitField& field) {
        return inUse ? PlainNumber(field.text).value_or("null") : QByteArrayLiteral("null");
    };
    out += ",\"name\":" + JsonString(channel.name) + ",\"unit\":" + JsonString(channel.unit);
    out += ",\"low\":" + limit(bool(limits.below), channel.minimum) +
           ",\"high\":" + limit(bool(limits.above), channel.maximum);
    out += ",\"state\":\"" + QByteArray(state) + '"';
    if (!limits.unusable.isEmpty())
        out += ",\"problem\":" + JsonString(limits.unusable);
    return out + '}';
}

} // namespace tarvek
