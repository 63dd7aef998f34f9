#include "alarm/AlarmFold.h"

#include <algorithm>

namespace tarvek {

bool IsAlarmKind(const QString& kind) {
    using namespace EventKinds;
    return kind == High || kind == Low || kind == NoValue || kind == NoAnswer || kind == NotStored;
}

void AlarmFold::Follow(const Event& e) {
    FollowSetUp(setUp, e);
    if (e.kind == EventKinds::Acquisition) {
        stopped = e.event == EventNames::Stopped;
        stoppedDate = stopped ? e.date : QString();
        stoppedTime = stopped ? e.time : QString();
        return;
    }
    if (!IsAlarmKind(e.kind))
        return;
    auto found = std::find_if(alarms.begin(), alarms.end(), [&](const CurrentAlarm& a) {
        return a.kind == e.kind && a.channel == e.channel;
    });
    if (e.event == EventNames::Raised) {
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
    if (e.event == EventNames::Cleared) {
        if (acknowledged) {
            alarms.erase(found);
            return;
        }
        found->state = AlarmState::ClearedUnacknowledged;
        found->value = e.value;
        found->limit = e.limit;
    } else if (e.event == EventNames::Acknowledged) {
        if (found->state == AlarmState::ClearedUnacknowledged)
            alarms.erase(found);
        else
            found->state = AlarmState::ActiveAcknowledged;
    }
}

AlarmFold FoldEvents(const std::vector<LoggedEvent>& events) {
    AlarmFold fold;
    for (const LoggedEvent& logged : events)
        fold.Follow(logged.event);
    return fold;
}

} // namespace tarvek
