#pragma once

#include "data/StoredTimeToUtc.h"
#include "publish/ChangeLog.h"
#include "publish/DeliveryWindow.h"
#include "publish/MqttLink.h"
#include "publish/PublishConfig.h"
#include "publish/RecordFeed.h"

#include <QSet>

#include <bitset>
#include <optional>

namespace tarvek {

// The month files to the broker: every record to `<prefix>/record` at the
// configured QoS, not retained, in stored order and at least once, in a
// delivery window of its own beside the events'; and, retained, each active
// channel's last value with its set-up, once caught up.
class RecordStream {
  public:
    RecordStream(const PublishConfig& config, MqttLink& link, ChangeLog& log);

    // A new session (or none): every record after `acknowledged` goes again,
    // and the channels' last values once caught up.
    void Rewind(const RecordPosition& acknowledged);
    // Sends what the window has room for; true when every record stored was
    // read, the channels' last values then sent.
    bool SendMore();
    // Nothing when `mid` is none of its messages; otherwise how many records
    // the place acknowledged moved over.
    std::optional<int> Acknowledge(int mid);
    const RecordPosition& Acknowledged() const { return acknowledged_; }
    bool Empty() const { return window_.Empty(); }
    // Every record read is acknowledged and so is every channel's value.
    bool CaughtUp() const { return caughtUp_ && window_.Empty() && channelMids_.isEmpty(); }
    // The month files to watch.
    QStringList Watched() const { return feed_.Watched(); }
    // What --once could not send.
    QStringList Missed() const;

  private:
    struct Sent {
        QString file;
        FilePosition position;
        qint64 utcMs;
    };
    void PublishChannels();
    QByteArray Topic(const QByteArray& leaf) const;

    const PublishConfig& config_;
    MqttLink& link_;
    ChangeLog& log_;
    RecordFeed feed_;
    StoredTimeToUtc toUtc_;
    DeliveryWindow<Sent> window_;
    RecordPosition acknowledged_;
    bool caughtUp_ = false;
    std::optional<FedRecord> lastSent_; // the newest record sent, for the channels' last values
    qint64 lastSentUtc_ = 0;
    std::optional<FedRecord> channelsSent_;
    QSet<int> channelMids_; // channel messages not yet acknowledged
    // The inactive channels whose retained value was removed on this
    // connection; one that was active before keeps no stale value.
    std::bitset<ChannelCount> removed_;
};

} // namespace tarvek
