#include "publish/Payload.h"

#include "config/ChannelSettings.h"
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

QByteArray ChannelPayload(const StoredValue& value, qint64 localMs, qint64 utcMs, const ChannelSetup& setup) {
    const char* state = "none";
    if (!value.IsGap()) {
        // Both sides are decimal texts of at most 15 digits: compared as
        // doubles they order as the numbers do, a value at a limit included.
        const double v = value.Value();
        const auto limitOf = [](const std::optional<QByteArray>& json) -> std::optional<double> {
            return json ? std::optional(json->toDouble()) : std::nullopt;
        };
        const ChannelLimits limits{limitOf(setup.low), limitOf(setup.high)};
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
    out += ",\"name\":" + JsonString(setup.name) + ",\"unit\":" + JsonString(setup.unit);
    out += ",\"low\":" + setup.low.value_or("null") + ",\"high\":" + setup.high.value_or("null");
    out += ",\"state\":\"" + QByteArray(state) + "\"}";
    return out;
}

} // namespace tarvek
