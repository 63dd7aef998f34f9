#include "data/AlarmFold.h"

#include "common/TextHelpers.h"

#include <algorithm>

namespace tarvek {

bool IsAlarmKind(const QString& kind) {
    using namespace EventKinds;
    return kind == High || kind == Low || kind == NoValue || kind == NoAnswer || kind == NotStored;
}

QString AlarmText(const QString& kind, const QString& channelName) {
    using namespace EventKinds;
    if (kind == High)
        return channelName + QStringLiteral(" above maximum");
    if (kind == Low)
        return channelName + QStringLiteral(" below minimum");
    if (kind == NoValue)
        return channelName + QStringLiteral(" without a value");
    if (kind == NoAnswer)
        return QStringLiteral("Instrument not answering");
    if (kind == NotStored)
        return QStringLiteral("Records not stored");
    return (channelName + u' ' + kind).trimmed();
}

void AlarmFold::Take(const Event& e) {
    // The program starts in stand-by: one ended or killed while acquiring
    // stopped watching, whether or not it could say so.
    if (e.kind == EventKinds::Acquisition ||
        (e.kind == EventKinds::Program && e.name == EventNames::Started)) {
        const bool stops = e.name != EventNames::Started || e.kind == EventKinds::Program;
        if (!stops || !stopped) { // since the first stop
            stoppedDate = stops ? e.date : QString();
            stoppedTime = stops ? e.time : QString();
        }
        stopped = stops;
        return;
    }
    if (!IsAlarmKind(e.kind))
        return;
    auto found = std::find_if(alarms.begin(), alarms.end(), [&](const CurrentAlarm& a) {
        return a.kind == e.kind && a.channel == e.channel;
    });
    if (e.name == EventNames::Raised) {
        const CurrentAlarm raised{
            e.kind, e.channel, AlarmState::ActiveUnacknowledged, e.date, e.time, e.value, e.limit, e.text};
        if (found != alarms.end())
            alarms.erase(found);
        alarms.push_back(raised);
        return;
    }
    if (found == alarms.end())
        return;
    const bool acknowledged = found->state == AlarmState::ActiveAcknowledged;
    if (e.name == EventNames::Cleared) {
        if (acknowledged) {
            alarms.erase(found);
            return;
        }
        found->state = AlarmState::ClearedUnacknowledged;
        found->value = e.value;
        found->limit = e.limit;
    } else if (e.name == EventNames::Acknowledged) {
        if (found->state == AlarmState::ClearedUnacknowledged)
            alarms.erase(found);
        else
            found->state = AlarmState::ActiveAcknowledged;
    }
}

AlarmFold FoldEvents(const std::vector<LoggedEvent>& events) {
    AlarmFold fold;
    for (const LoggedEvent& logged : events)
        fold.Take(logged.event);
    return fold;
}

std::vector<Event> Acknowledgements(const std::vector<CurrentAlarm>& alarms, const QString& user,
                                    const QString& comment, const QDateTime& now) {
    std::vector<Event> records;
    for (const CurrentAlarm& a : alarms) {
        Event e;
        e.date = DateStamp(now.date());
        e.time = TimeText(now.time());
        e.kind = a.kind;
        e.channel = a.channel;
        e.name = EventNames::Acknowledged;
        e.user = user;
        e.text = comment.trimmed();
        records.push_back(e);
    }
    return records;
}

} // namespace tarvek
