#include "config/AlarmParameters.h"
#include "common/Folders.h"

#include "config/ChannelSettings.h"
#include "config/SettingFiles.h"

#include <QDir>

namespace tarvek {

namespace {

constexpr int MaxPolls = 999;

QString Label(int record) {
    if (record == NoValuePollsRecord)
        return QStringLiteral("No value polls");
    if (record == NoAnswerPollsRecord)
        return QStringLiteral("No answer polls");
    if (record >= FirstOnDelayRecord)
        return DefaultChannelName(record - FirstOnDelayRecord + 1) + QStringLiteral(" on-delay");
    return DefaultChannelName(record - FirstDeadbandRecord + 1) + QStringLiteral(" deadband");
}

// A count of polls, 1..999; `fallback` for a blank value.
std::optional<int> PollsOf(const QString& value, int fallback) {
    if (value.isEmpty())
        return fallback;
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok && n >= 1 && n <= MaxPolls ? std::optional(n) : std::nullopt;
}

// A deadband: a plain number as the limits are written, not below 0.
std::optional<double> DeadbandOf(const QString& value, double fallback) {
    if (value.isEmpty())
        return fallback;
    const LimitField field = ParseLimit(value);
    return field.IsNumber() && field.value >= 0 ? std::optional(field.value) : std::nullopt;
}

} // namespace

AlarmParametersRead ParseAlarmParameters(const QByteArray& bytes, const QString& path) {
    AlarmParametersRead read;
    AlarmParameters& p = read.parameters;
    const auto valueOf = [&](int record) { return SettingValueOf(bytes, record); };
    const auto take = [&](int record, auto parsed, auto& into) {
        if (parsed)
            into = *parsed;
        else
            read.problems << QStringLiteral("%1: record %2 (%3): \"%4\" cannot be used; %5 is used")
                                 .arg(QDir::toNativeSeparators(path))
                                 .arg(record)
                                 .arg(Label(record), valueOf(record))
                                 .arg(into);
    };
    take(NoValuePollsRecord, PollsOf(valueOf(NoValuePollsRecord), p.noValuePolls), p.noValuePolls);
    take(NoAnswerPollsRecord, PollsOf(valueOf(NoAnswerPollsRecord), p.noAnswerPolls), p.noAnswerPolls);
    for (int c = 0; c < Declarations::ChannelCount; ++c)
        take(FirstDeadbandRecord + c, DeadbandOf(valueOf(FirstDeadbandRecord + c), p.deadband[c]),
             p.deadband[c]);
    for (int c = 0; c < Declarations::ChannelCount; ++c)
        take(FirstOnDelayRecord + c, PollsOf(valueOf(FirstOnDelayRecord + c), p.onDelay[c]), p.onDelay[c]);
    return read;
}

AlarmParametersRead ReadAlarmParameters(const QString& appFolder) {
    const SettingFileBytes read = ReadSettingFileBytes(appFolder, AlarmParametersFile, AlarmRecordCount);
    if (read.problem.isEmpty())
        return ParseAlarmParameters(read.bytes, SettingFilePath(appFolder, AlarmParametersFile));
    AlarmParametersRead defaults;
    defaults.problems << read.problem + QStringLiteral("; the default alarm set-up is used");
    return defaults;
}

QStringList DefaultAlarmRecords() {
    const AlarmParameters defaults;
    QStringList records{GeneralRecord(QStringLiteral("TARVEK alarms"), QString())};
    for (int r = 2; r <= AlarmRecordCount; ++r) {
        const int c = r >= FirstOnDelayRecord ? r - FirstOnDelayRecord : r - FirstDeadbandRecord;
        const QString value = r == NoValuePollsRecord    ? QString::number(defaults.noValuePolls)
                              : r == NoAnswerPollsRecord ? QString::number(defaults.noAnswerPolls)
                              : r >= FirstOnDelayRecord  ? QString::number(defaults.onDelay[c])
                                                         : QString::number(defaults.deadband[c]);
        records << GeneralRecord(Label(r), value);
    }
    return records;
}

} // namespace tarvek
