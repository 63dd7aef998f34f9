#pragma once

#include "publish/DeliveryWindow.h"
#include "publish/EventStream.h"
#include "publish/FailureText.h"
#include "publish/MqttLink.h"
#include "publish/Notifier.h"
#include "publish/Payload.h"
#include "publish/PublishConfig.h"
#include "publish/RecordFeed.h"
#include "publish/SessionChurn.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>

namespace tarvek {

// The wait before the next attempt after a failure: 1 s, doubling up to
// 60 s; a broker that refuses the user is asked again only every 60 s.
class Backoff {
  public:
    int Next(bool refused) {
        const int delay = refused ? MaxSeconds : next_;
        next_ = std::min(next_ * 2, MaxSeconds);
        return delay;
    }
    void Reset() { next_ = 1; }
    static constexpr int MaxSeconds = BackoffMaxSeconds;

  private:
    int next_ = 1;
};

// Publishes every stored record and every event of the event logs, each
// stream in stored order and at least once, and the retained status, last
// channel values and current alarms; runs the notification command for the
// alarm events, which publishing never waits for. Without a host it only
// notifies. The data folder is followed with file-system notifications; at
// most `Window` records (and as many events) are unacknowledged at a time;
// the last acknowledged record and event and the last event notified are
// kept in the state file, synced at most once a second and at the end.
class Publisher : public QObject {
    Q_OBJECT
  public:
    static constexpr int Window = DeliveryWindow<int>::Size;
    static constexpr int SaveEvery = 2000;

    struct Options {
        PublishConfig config;
        QString password;
        bool once = false;       // publish what is stored, then end
        int timeoutSeconds = 30; // --once: how long the broker may stay out of reach
    };
    explicit Publisher(Options options, QObject* parent = nullptr);

    // Loads the state and starts; false (with the reason and how to recover
    // on stderr) when the state file cannot be read or written.
    bool Start();
    // Says "offline", saves the state and ends within two seconds.
    void Stop();

  signals:
    void Finished(int exitCode);

  private:
    struct RecordPlace {
        QString file;
        FilePosition position;
        qint64 utc;
    };
    // Says `text` on stderr when `state` is not what was last said of `topic`.
    void Say(const QString& topic, const QString& state, const QString& text);
    void Rewind();
    // --once: ends when everything read was acknowledged and notified; 1
    // when a file could not be read or records were not data records.
    void CheckOnce();
    void EndOnce();
    bool Publishing() const { return !options_.config.host.isEmpty(); }
    // Starts the notifier after `notified`, when there is a command.
    void StartNotifier(const EventPosition& notified);
    void OnConnected();
    void OnFailed(MqttLink::Failure failure, const QString& reason);
    void OnAcknowledged(int mid);
    // Sends what the windows have room for; the event logs are looked at
    // again only when `events` (not at every record acknowledged).
    void Pump(bool events = true);
    void PumpRecords();
    void PublishChannels();
    void Follow();
    // Watches the data folder and the month file being read.
    void Watch();
    void SaveSoon();
    void SaveNow();
    void Finish(int exitCode);
    QByteArray Topic(const char* leaf) const;
    QString Broker() const;

    Options options_;
    MqttLink link_;
    RecordFeed feed_;
    StoredTimeToUtc toUtc_;
    int acknowledgedSinceSave_ = 0;
    int exitCode_ = 0;
    FeedPosition acknowledged_;
    bool dirty_ = false;
    DeliveryWindow<RecordPlace> records_;
    EventStream events_;
    std::unique_ptr<NotifyStream> notify_;
    bool caughtUp_ = false;
    std::optional<FedRecord> lastSent_; // the newest record sent, for the channels' last values
    qint64 lastSentUtc_ = 0;
    std::optional<FedRecord> channelsSent_;
    QSet<int> channelMids_; // channel messages not yet acknowledged
    int offlineMid_ = -1;
    bool stopping_ = false;
    bool finished_ = false;
    QHash<QString, QString> said_; // what was last said of each topic
    Backoff backoff_;
    SessionChurn churn_;
    QFileSystemWatcher watcher_;
    QTimer retry_, save_, poll_, giveUp_, lastWord_;
    QTimer answer_; // a broker that takes messages and never acknowledges them
    QElapsedTimer sinceSave_;
};

} // namespace tarvek
