#pragma once

#include "publish/BrokerSettings.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <mutex>

struct mosquitto;

namespace tarvek {

// How to reach the broker: the configured settings, the password read
// from its file, the last will.
struct LinkSettings : BrokerSettings {
    QString password;
    QByteArray willTopic, willPayload; // retained, QoS 1
    int maxInflight = 100;
};

// How long the broker may take to answer (the connection, an acknowledgement)
// before the session is left: twice the keep-alive, from 10 to 20 s, so that
// a broker that keeps its socket open and answers nothing is left long
// before a long keep-alive would notice.
inline int AnswerSeconds(int keepalive) {
    return std::clamp(2 * keepalive, 10, 20);
}

// One MQTT session at a time, driven from this object's event loop: the
// socket's notifiers and a one-second tick run the library, which never
// sleeps or blocks, so no thread is ever waited for and a stop is never held
// up by the network. Only the start of an attempt, which looks the broker's
// name up, runs on a thread of its own; an attempt given up meanwhile is left
// to that thread, which ends it. Every callback is queued, so a session is never torn
// down inside the library. A session ends at its first failure and is never
// reconnected here: the owner decides retries and resends unacknowledged
// messages.
class MqttLink : public QObject {
    Q_OBJECT
  public:
    enum class Failure { Unreachable, NotAuthorised, Tls, Refused, Lost };

    explicit MqttLink(LinkSettings settings, QObject* parent = nullptr);
    ~MqttLink() override;

    // Starts an attempt; Connected or Failed follows.
    void Connect();
    // Ends the session, sending a clean disconnect when connected.
    void Disconnect();
    bool IsConnected() const { return connected_; }
    // Ends the session as lost, for `reason`.
    void Drop(const QString& reason);
    // Queues a message; its id (Acknowledged names it), or -1 when there is
    // no session.
    int Publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain);

  signals:
    void Connected();
    void Failed(MqttLink::Failure failure, const QString& reason);
    // QoS 1 and 2: the broker has the message; QoS 0: it was sent.
    void Acknowledged(int mid);

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnLog(mosquitto*, void* self, int level, const char* text);
    static void OnStartLog(mosquitto*, void* start, int level, const char* text);
    // The attempt's start, handed back from its thread.
    void Started(quint64 session, int rc, bool tls, const QString& why);
    void Connack(quint64 session, int rc);
    void Ended(quint64 session, int rc);
    void Fail(Failure failure, const QString& reason);
    void TearDown();
    // Lets the library read, write and keep the session alive, then asks
    // for the socket's writability only while something waits to be sent.
    void Service();
    void WatchWrites();

    // The thread that starts an attempt and this object agree under `lock`
    // who ends the attempt's session: the thread, when it was given up first.
    struct Start {
        std::mutex lock;
        bool done = false, abandoned = false;
        QString error; // the library's last error line while starting
    };

    LinkSettings settings_;
    mosquitto* mosq_ = nullptr;
    std::shared_ptr<Start> start_; // the attempt being started
    quint64 session_ = 0;          // numbers the sessions, so late calls of an ended one are dropped
    bool connected_ = false;
    QString lastError_; // the library's last error line
    QTimer answer_;     // an attempt that gets no answer fails
    QTimer tick_;       // keep-alive and retries of the library
    std::unique_ptr<QSocketNotifier> readable_, writable_;
};

} // namespace tarvek
