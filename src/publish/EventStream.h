#pragma once

#include "data/AlarmFold.h"
#include "publish/DeliveryWindow.h"
#include "publish/EventFeed.h"
#include "publish/EventPayload.h"
#include "publish/MqttLink.h"
#include "publish/PublishConfig.h"

#include <QSet>

#include <optional>

namespace tarvek {

// The current alarms folded from the whole of the event logs, followed as
// they grow. A log cut shorter or replaced once read is folded again with
// all the others from a clean state: what left the logs leaves the alarms.
class FoldedLogs {
  public:
    explicit FoldedLogs(QString folder) : feed_(std::move(folder)) {}
    // Folds the events stored since the last call.
    void Follow();
    const AlarmFold& Alarms() const { return fold_; }

  private:
    // Folds on to the end of the logs; false when a log was found rewritten.
    bool FoldOn();

    EventFeed feed_;
    AlarmFold fold_;
};

// The event logs to the broker: every event record to `<prefix>/event` at
// the configured QoS, not retained, in stored order and at least once, in a
// delivery window of its own beside the records'; every seal line as it
// stands to `<prefix>/seal` (QoS 1) in the same window, a finding's alarm to
// `<prefix>/event` just before its line; and, retained, the current
// alarms of the logger and of each channel, folded from the whole of the
// logs, sent once caught up and again at every change of a topic's payload.
class EventStream {
  public:
    EventStream(const PublishConfig& config, MqttLink& link);

    // A new session (or none): every event after `acknowledged` goes again,
    // and every alarm topic once caught up.
    void Rewind(const EventPosition& acknowledged);
    // Sends what the window has room for, and the alarm topics that changed.
    void SendMore();
    // Nothing when `mid` is none of its messages; otherwise how many events
    // the place acknowledged moved over.
    std::optional<int> Acknowledge(int mid);
    const EventPosition& Acknowledged() const { return acknowledged_; }
    bool Empty() const { return window_.Empty(); }
    // Every event read is acknowledged and so is every alarm topic.
    bool CaughtUp() const { return caughtUp_ && window_.Empty() && alarmsSent_ && alarmMids_.isEmpty(); }
    // Why a log cannot be read, while it lasts.
    const QString& Error() const { return feed_.Error(); }
    QStringList TakeNotes() { return feed_.TakeNotes(); }
    // The event logs to watch.
    QStringList Watched() { return feed_.Watched(); }
    // What --once could not send.
    QStringList Missed() const;

  private:
    void PublishAlarms();

    const PublishConfig& config_;
    MqttLink& link_;
    EventFeed feed_;
    FoldedLogs fold_;
    StoredTimeToUtc toUtc_;
    DeliveryWindow<EventAt> window_;
    EventPosition acknowledged_;
    bool caughtUp_ = false, alarmsSent_ = false;
    AlarmPayloads sent_; // in this session; an empty one was not sent
    QSet<int> alarmMids_;
};

// Where a first run starts in the event logs of `folder` (and the seal files
// of `seals`), as `start` says: in each, before the first event or line
// stored at or after its time (`new`: after its last, `all`: before every
// one). Nothing when a file cannot be read.
std::optional<EventPosition> StartingEventPosition(const QString& folder, const StartFrom& start,
                                                   const QString& seals = {});

} // namespace tarvek
