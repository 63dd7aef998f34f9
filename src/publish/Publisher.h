#pragma once

#include "publish/ChangeLog.h"
#include "publish/EventStream.h"
#include "publish/FailureText.h"
#include "publish/MqttLink.h"
#include "publish/NotifyStream.h"
#include "publish/PublishConfig.h"
#include "publish/RecordStream.h"
#include "publish/SessionChurn.h"
#include "publish/StateSaver.h"

#include <QFileSystemWatcher>
#include <QObject>
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
// most `InFlight` records (and as many events) are unacknowledged at a time;
// the last acknowledged record and event and the last event notified are
// kept in the state file (StateSaver). The publisher only wires: the streams,
// the saver, the session and its timers.
class Publisher : public QObject {
    Q_OBJECT
  public:
    static constexpr int InFlight = DeliveryWindow<int>::Size;

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
    // The state of a first run, as `start` says.
    PublishState FirstState() const;
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
    void SendMore(bool events = true);
    void Follow();
    // Watches the data folder and the month files and logs being read.
    void Watch();
    void Finish(int exitCode);
    QString Broker() const;

    Options options_;
    ChangeLog log_;
    MqttLink link_;
    RecordStream records_;
    EventStream events_;
    std::unique_ptr<NotifyStream> notify_;
    StateSaver saver_;
    int exitCode_ = 0;
    int offlineMid_ = -1;
    bool stopping_ = false, finished_ = false;
    Backoff backoff_;
    SessionChurn churn_;
    QFileSystemWatcher watcher_;
    QTimer retry_;
    // The slow follow step: only a folder that appears or a notification the
    // kernel dropped waits for it.
    QTimer followEvery_;
    QTimer onceDeadline_; // --once: the broker out of reach this long ends the run
    QTimer offlineGrace_; // the broker's acknowledgement of "offline" ends the run, or this
    QTimer ackDeadline_;  // a broker that takes messages and never acknowledges them is left
};

} // namespace tarvek
