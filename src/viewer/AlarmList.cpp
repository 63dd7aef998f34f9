#include "viewer/AlarmList.h"

#include "common/RecordFile.h"
#include "common/TextHelpers.h"
#include "data/DataRecord.h"
#include "data/NumberText.h"
#include "viewer/CsvExport.h"

#include <algorithm>

namespace tarvek {

namespace {

QString StateText(AlarmState state) {
    switch (state) {
    case AlarmState::ActiveUnacknowledged:
        return QStringLiteral("active, unacknowledged");
    case AlarmState::ActiveAcknowledged:
        return QStringLiteral("active, acknowledged");
    case AlarmState::ClearedUnacknowledged:
        break;
    }
    return QStringLiteral("back to normal, unacknowledged");
}

QString ChannelHeading(int channel, const ChannelInfos& channels) {
    return channel >= 1 && channel <= ChannelCount ? channels[std::size_t(channel - 1)].Heading() : QString();
}

// A value or limit cell as the data's export writes a value: its plain
// number (PlainNumber), nothing for a gap, anything else as text.
QByteArray NumberField(const QString& text) {
    if (const std::optional<QByteArray> number = PlainNumber(text))
        return *number;
    const QByteArray bytes = text.toLatin1();
    if (bytes.size() == ValueWidth)
        if (const std::optional<StoredValue> value = ParseValueText(bytes.constData());
            value && value->IsGap())
            return {};
    return CsvField(text.trimmed());
}

} // namespace

QString EventSkipText(int skipped) {
    return skipped > 0 ? QStringLiteral("; %1 event records skipped").arg(skipped) : QString();
}

std::vector<CurrentAlarm> AlarmsInOrder(const AlarmFold& fold) {
    std::vector<CurrentAlarm> alarms = fold.alarms;
    const auto acknowledged = [](const CurrentAlarm& a) { return a.state == AlarmState::ActiveAcknowledged; };
    std::stable_sort(alarms.begin(), alarms.end(), [&](const CurrentAlarm& a, const CurrentAlarm& b) {
        return std::tuple(acknowledged(a), EventStamp(a.sinceDate, a.sinceTime)) <
               std::tuple(acknowledged(b), EventStamp(b.sinceDate, b.sinceTime));
    });
    return alarms;
}

int NeedingAttention(const AlarmFold& fold) {
    return int(std::count_if(fold.alarms.begin(), fold.alarms.end(), [](const CurrentAlarm& a) {
        return a.state != AlarmState::ActiveAcknowledged;
    }));
}

QStringList AlarmHeadings() {
    return {QStringLiteral("State"), QStringLiteral("Since"), QStringLiteral("Channel"),
            QStringLiteral("Alarm"), QStringLiteral("Value"), QStringLiteral("Limit")};
}

QStringList AlarmRow(const CurrentAlarm& alarm, const ChannelInfos& channels) {
    return {StateText(alarm.state),
            alarm.sinceDate + u' ' + alarm.sinceTime,
            ChannelHeading(alarm.channel, channels),
            AlarmText(alarm.kind, ChannelName(alarm.channel, channels)),
            alarm.value.trimmed(),
            alarm.limit};
}

QString BannerText(const AlarmFold& fold, const ChannelInfos& channels, const QString& today) {
    QStringList parts;
    for (const CurrentAlarm& a : AlarmsInOrder(fold))
        if (a.state == AlarmState::ActiveUnacknowledged)
            parts += AlarmText(a.kind, ChannelName(a.channel, channels)) + QStringLiteral(" since ") +
                     (a.sinceDate == today ? a.sinceTime : a.sinceDate + u' ' + a.sinceTime);
    if (parts.isEmpty())
        return {};
    return QStringLiteral("%1 %2: %3")
        .arg(parts.size())
        .arg(parts.size() == 1 ? QStringLiteral("alarm") : QStringLiteral("alarms"),
             parts.join(QStringLiteral(", ")));
}

QString WatchText(const AlarmFold& fold) {
    if (!fold.stopped)
        return {};
    return QStringLiteral("Acquisition stopped since %1 %2: nobody is watching.")
        .arg(fold.stoppedDate, fold.stoppedTime);
}

std::vector<std::size_t> EventsInSpan(const EventTimeline& timeline, const TimeSpan& span) {
    std::vector<std::size_t> shown = EventsIn(timeline, span.from, span.to);
    std::reverse(shown.begin(), shown.end());
    return shown;
}

QStringList EventHeadings() {
    return {QStringLiteral("Time"),  QStringLiteral("Kind"),  QStringLiteral("Channel"),
            QStringLiteral("Event"), QStringLiteral("Value"), QStringLiteral("Limit"),
            QStringLiteral("User"),  QStringLiteral("Text")};
}

QStringList EventRow(const Event& e, const ChannelInfos& channels) {
    return {e.date + u' ' + e.time,
            e.kind,
            ChannelHeading(e.channel, channels),
            e.name,
            e.value.trimmed(),
            e.limit,
            e.user,
            e.text};
}

bool WriteEventsCsv(QIODevice& out, const std::vector<LoggedEvent>& events, const ChannelInfos& channels,
                    const TimeSpan& localSpan) {
    QByteArray text = "time,kind,channel,event,value,limit,user,text\r\n";
    for (const LoggedEvent& logged : events) {
        const Event& e = logged.event;
        const std::optional<qint64> t = EventStamp(e.date, e.time);
        if (!t || *t < localSpan.from || *t > localSpan.to)
            continue;
        text += StoredTimeText(*t) + ',' + CsvField(e.kind) + ',' +
                CsvField(ChannelHeading(e.channel, channels)) + ',' + CsvField(e.name) + ',' +
                NumberField(e.value) + ',' + NumberField(e.limit) + ',' + CsvField(e.user) + ',' +
                CsvField(e.text) + "\r\n";
    }
    return WriteAll(out, text);
}

void EventsModel::Show(const std::vector<LoggedEvent>* events, const ChannelInfos* channels,
                       std::vector<std::size_t> shown) {
    beginResetModel();
    events_ = events;
    channels_ = channels;
    shown_ = std::move(shown);
    endResetModel();
}

std::vector<CurrentAlarm> ToAcknowledge(const std::vector<CurrentAlarm>& listed,
                                        const std::vector<int>& selectedRows, bool all) {
    std::vector<CurrentAlarm> chosen;
    for (std::size_t r = 0; r < listed.size(); ++r)
        if ((all || std::count(selectedRows.begin(), selectedRows.end(), int(r)) > 0) &&
            listed[r].state != AlarmState::ActiveAcknowledged)
            chosen.push_back(listed[r]);
    return chosen;
}

} // namespace tarvek
