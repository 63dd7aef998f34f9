#include "publish/EventStream.h"

namespace tarvek {

namespace {

// Events read at a time by the fold, which reads ahead of the window.
constexpr qint64 FoldBatch = 10'000;

} // namespace

bool FoldedLogs::FoldOn() {
    const qint64 rewritten = feed_.Rewritten();
    std::vector<FedEvent> events;
    bool folded = false;
    while (!folded) {
        events.clear();
        folded = !feed_.Read(FoldBatch, events) || qint64(events.size()) < FoldBatch;
        for (const FedEvent& fed : events)
            fold_.Take(fed.event);
    }
    feed_.TakeNotes(); // said by the feed of the events themselves
    return feed_.Rewritten() == rewritten;
}

void FoldedLogs::Follow() {
    // A log rewritten again while folded afresh: once more, then as it stands.
    for (int pass = 0; !FoldOn() && pass < 2; ++pass) {
        fold_ = {};
        feed_.SeekAfter({});
    }
}

EventStream::EventStream(const PublishConfig& config, MqttLink& link)
    : config_(config), link_(link), feed_(config.data), fold_(config.data) {
    feed_.FollowSeals(config.seals, config.sealAlarmKind);
}

void EventStream::Rewind(const EventPosition& acknowledged) {
    acknowledged_ = acknowledged;
    window_.Clear();
    feed_.SeekAfter(acknowledged);
    caughtUp_ = alarmsSent_ = false;
    sent_ = {};
    alarmMids_.clear();
}

void EventStream::SendMore() {
    if (!link_.IsConnected())
        return;
    // The fold follows the whole of the logs, whatever the broker has taken.
    fold_.Follow();
    std::vector<FedEvent> events;

    const int room = window_.Room();
    if (room > 0) {
        events.clear();
        feed_.Read(room, events); // a log that cannot be read is said by Error()
        const QByteArray topic = (config_.prefix + QStringLiteral("/event")).toUtf8(),
                         seal = (config_.prefix + QStringLiteral("/seal")).toUtf8();
        for (const FedEvent& fed : events) {
            // A finding's alarm goes first, its place the line before, so
            // that the line is passed only when both are acknowledged.
            if (fed.finding) {
                const int mid = link_.Publish(topic, EventPayload(fed), config_.qos, false);
                if (mid < 0)
                    return;
                window_.Sent(mid, {fed.position.file, fed.position.record - 1});
            }
            const int mid = fed.seal.isEmpty() ? link_.Publish(topic, EventPayload(fed), config_.qos, false)
                                               : link_.Publish(seal, fed.seal, 1, false);
            if (mid < 0)
                return; // the link's failure follows; everything after the acknowledged event goes again
            window_.Sent(mid, fed.position);
        }
        caughtUp_ = qint64(events.size()) < room;
    }
    PublishAlarms();
}

void EventStream::PublishAlarms() {
    const AlarmPayloads now = AlarmStatePayloads(fold_.Alarms(), toUtc_);
    for (int n = 0; n < int(now.size()); ++n) {
        if (sent_[n] == now[n])
            continue;
        const int mid = link_.Publish(AlarmTopic(config_.prefix, n).toUtf8(), now[n], config_.qos, true);
        if (mid < 0)
            return;
        sent_[n] = now[n];
        if (config_.qos > 0)
            alarmMids_.insert(mid);
    }
    alarmsSent_ = true;
}

std::optional<int> EventStream::Acknowledge(int mid) {
    if (alarmMids_.remove(mid))
        return 0;
    if (!window_.Holds(mid))
        return std::nullopt;
    const std::vector<EventAt> moved = window_.Acknowledge(mid);
    for (const EventAt& at : moved)
        acknowledged_.Pass(at);
    return int(moved.size());
}

QStringList EventStream::Missed() const {
    QStringList missed;
    if (!feed_.Error().isEmpty())
        missed += feed_.Error();
    if (feed_.Skipped() > 0)
        missed += QStringLiteral("%1 records of the event logs are not event records").arg(feed_.Skipped());
    return missed;
}

std::optional<EventPosition> StartingEventPosition(const QString& folder, const StartFrom& start,
                                                   const QString& seals) {
    if (start.kind == StartFrom::All)
        return EventPosition{};
    EventFeed feed(folder);
    if (!seals.isEmpty())
        feed.FollowSeals(seals, {});
    std::vector<FedEvent> events;
    EventPosition before;
    QSet<QString> reached; // the logs whose first event at or after the time was read
    bool more = true;
    while (more) {
        events.clear();
        if (!feed.Read(FoldBatch, events))
            return std::nullopt;
        more = qint64(events.size()) == FoldBatch;
        for (const FedEvent& fed : events) {
            if (start.kind == StartFrom::Time && fed.localMs >= start.localMs)
                reached.insert(fed.position.file);
            if (!reached.contains(fed.position.file))
                before.Pass(fed.position);
        }
    }
    return start.kind == StartFrom::New ? feed.Position() : before;
}

} // namespace tarvek
