#include "publish/NotifyStream.h"

namespace tarvek {

namespace {

// Events read at a time for the notification command, which may take few.
constexpr qint64 NotifyBatch = 200;

} // namespace

NotifyStream::NotifyStream(const PublishConfig& c, const EventPosition& notified,
                           std::function<void(const QString&)> say, bool once)
    : feed_(c.data),
      command_({c.notifyCommand, c.notifyBatch, c.notifyTimeout, c.notifyMaxAge}, notified, std::move(say)),
      once_(once) {
    feed_.FollowSeals(c.seals, c.sealAlarmKind);
    feed_.SeekAfter(notified);
    // What the command could not take yet is read again from the logs.
    QObject::connect(
        &command_, &CommandRunner::Ready, &command_, [this] { Follow(); }, Qt::QueuedConnection);
}

void NotifyStream::Follow() {
    std::vector<FedEvent> events;
    for (bool more = true; more;) {
        const EventPosition before = feed_.Position();
        events.clear();
        const bool read = feed_.Read(NotifyBatch, events);
        const std::size_t taken = command_.Add(events);
        behind_ = taken < events.size();
        if (behind_) {
            EventPosition at = before;
            for (std::size_t i = 0; i < taken; ++i)
                at.Pass(events[i].position);
            feed_.SeekAfter(at);
        }
        more = !behind_ && read && qint64(events.size()) == NotifyBatch;
    }
    // --once: the run held is all the command can take now, or all there is.
    if (once_ && feed_.Error().isEmpty())
        command_.RunGathered();
}

} // namespace tarvek
