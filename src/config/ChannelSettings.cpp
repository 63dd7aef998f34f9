#include "config/ChannelSettings.h"

#include "config/SettingRecords.h"

#include <QDir>
#include <QRegularExpression>

#include <unistd.h>

namespace tarvek {

namespace {

// A name as shown and exported: without control characters (C0, DEL, C1).
QString WithoutControls(QString text) {
    text.removeIf([](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0); });
    return text;
}

} // namespace

LimitField ParseLimit(const QString& field) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    LimitField limit;
    limit.text = field.trimmed();
    if (limit.text.isEmpty())
        return limit;
    if (!number.match(limit.text).hasMatch()) {
        limit.kind = LimitField::Kind::Unreadable;
        return limit;
    }
    limit.kind = LimitField::Kind::Number;
    limit.value = limit.text.toDouble();
    return limit;
}

ChannelLimits LimitsOf(const LimitField& minimum, const LimitField& maximum, int c) {
    const auto value = [](const LimitField& field) {
        return field.IsNumber() ? std::optional(field.value) : std::nullopt;
    };
    if (minimum.IsNumber() && maximum.IsNumber() && !(minimum.value < maximum.value))
        return {{},
                {},
                QStringLiteral("%1 alarm minimum %2 not below maximum %3")
                    .arg(DefaultChannelName(c), minimum.text, maximum.text)};
    return {value(minimum), value(maximum), {}};
}

ChannelSetUp ReadChannelSettings(const QString& settingFolder, LinkPolicy links) {
    ChannelSetUp setUp;
    const QString path = settingFolder + u'/' + ChannelParametersFile;
    const auto fail = [&](const char* what, int error, const QString& reason) {
        setUp.errorNumber = error;
        setUp.problem =
            QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(path), QLatin1String(what), reason);
    };
    QByteArray bytes;
    if (const SharedFile file = OpenSharedFile(path, SharedAccess::Read, links); !file) {
        fail("cannot open", file.error, file.reason);
    } else {
        bytes.resize(qint64(ChannelRecordOffset + ChannelCount) * SettingRecordLength);
        const qint64 n = ReadAt(file.fd, bytes.data(), bytes.size(), 0);
        const int error = errno;
        ::close(file.fd);
        bytes.truncate(std::max<qint64>(n, 0));
        if (n < 0)
            fail("cannot read", error, qt_error_string(error));
    }
    for (int c = 1; c <= ChannelCount; ++c) {
        const QString record = QString::fromLatin1(
            bytes.mid(qint64(c + ChannelRecordOffset - 1) * SettingRecordLength, SettingRecordLength));
        const QString name = WithoutControls(ChannelFieldOf(record, Description)).trimmed();
        const QString unit = WithoutControls(ChannelFieldOf(record, Unit)).trimmed();
        const LimitField minimum = ParseLimit(ChannelFieldOf(record, AlarmMin)),
                         maximum = ParseLimit(ChannelFieldOf(record, AlarmMax));
        setUp.channels[c - 1] = {name.isEmpty() ? DefaultChannelName(c) : name,
                                 unit.isEmpty() ? DefaultUnit : unit,
                                 !unit.isEmpty(),
                                 ChannelFieldOf(record, Active) == u"1",
                                 minimum,
                                 maximum,
                                 LimitsOf(minimum, maximum, c)};
    }
    return setUp;
}

} // namespace tarvek
