#include "publish/Payload.h"

#include "common/SharedFile.h"
#include "config/ChannelSettings.h"
#include "config/SettingRecords.h"
#include "data/DataRecord.h"

#include <QDate>
#include <QDateTime>
#include <QDir>

#include <cstring>
#include <limits>
#include <unistd.h>

namespace tarvek {

namespace {

constexpr qint64 DayMs = 86'400'000;

qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

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

QByteArray IsoTime(qint64 ms) {
    const qint64 day = FloorDiv(ms, DayMs);
    int year = 0, month = 0, dayOfMonth = 0;
    QDate::fromJulianDay(day + UnixEpochDay).getDate(&year, &month, &dayOfMonth);
    const int seconds = int((ms - day * DayMs) / 1000);
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year % 10000, month,
                                dayOfMonth, seconds / 3600, seconds / 60 % 60, seconds % 60);
    return QByteArray(text, n);
}

QByteArray RecordPayload(const QString& fileName, qint64 number, const StoredRecord& record, qint64 utcMs) {
    QByteArray out;
    out.reserve(200);
    out += "{\"file\":";
    out += JsonString(fileName);
    out += ",\"record\":" + QByteArray::number(number);
    out += ",\"time\":\"" + IsoTime(record.localMs);
    out += "\",\"utc\":\"" + IsoTime(utcMs);
    out += "Z\",\"values\":[";
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        if (k > 0)
            out += ',';
        out += ValueJson(record.values[k]);
    }
    out += "]}";
    return out;
}

std::optional<QByteArray> JsonNumber(const QString& text) {
    const LimitField limit = ParseLimit(text);
    if (!limit.IsNumber())
        return std::nullopt;
    // JSON wants no sign but "-", no leading zeros and a digit either side of the point.
    QString digits = limit.text;
    const bool negative = digits.startsWith(u'-');
    if (negative || digits.startsWith(u'+'))
        digits.remove(0, 1);
    const qsizetype point = digits.indexOf(u'.');
    QString whole = point < 0 ? digits : digits.left(point);
    const QString fraction = point < 0 ? QString() : digits.mid(point + 1);
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    QByteArray out = negative ? "-" : "";
    out += whole.isEmpty() ? QByteArray("0") : whole.toLatin1();
    if (!fraction.isEmpty())
        out += '.' + fraction.toLatin1();
    return out;
}

std::optional<ChannelSetups> ReadChannelSetups(const QString& settingFolder, QString* error) {
    const QString path = settingFolder + u'/' + ChannelParametersFile;
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    if (!file) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.reason);
        return std::nullopt;
    }
    QByteArray bytes(qint64(ChannelRecordOffset + Declarations::ChannelCount) * SettingRecordLength, '\0');
    const ssize_t n = ::pread(file.fd, bytes.data(), bytes.size(), 0);
    ::close(file.fd);
    if (n < 0) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
        return std::nullopt;
    }
    bytes.truncate(n);
    ChannelSetups setups;
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const QString record = QString::fromLatin1(
            bytes.mid(qint64(c + ChannelRecordOffset - 1) * SettingRecordLength, SettingRecordLength));
        ChannelSetup& s = setups[c - 1];
        s.active = ChannelFieldOf(record, Declarations::Active) == u"1";
        // Blank fields read as the viewer shows them.
        s.name = ChannelFieldOf(record, Declarations::Description);
        s.name = s.name.isEmpty() ? QStringLiteral("Ch.%1").arg(c) : s.name;
        s.unit = ChannelFieldOf(record, Declarations::Unit);
        s.unit = s.unit.isEmpty() ? QStringLiteral("Bar") : s.unit;
        s.low = JsonNumber(ChannelFieldOf(record, Declarations::AlarmMin));
        s.high = JsonNumber(ChannelFieldOf(record, Declarations::AlarmMax));
    }
    error->clear();
    return setups;
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
    QByteArray out = "{\"time\":\"" + IsoTime(localMs) + "\",\"utc\":\"" + IsoTime(utcMs) + "Z\",\"value\":";
    out += ValueJson(value);
    out += ",\"name\":" + JsonString(setup.name) + ",\"unit\":" + JsonString(setup.unit);
    out += ",\"low\":" + setup.low.value_or("null") + ",\"high\":" + setup.high.value_or("null");
    out += ",\"state\":\"" + QByteArray(state) + "\"}";
    return out;
}

} // namespace tarvek
