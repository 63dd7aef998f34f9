#include "publish/MqttLink.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace tarvek {

namespace {

struct Library {
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
};

QByteArray Utf8OrNull(const QString& text) {
    return text.isEmpty() ? QByteArray() : text.toUtf8();
}

const char* OrNull(const QByteArray& text) {
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

MqttLink::MqttLink(LinkSettings settings, QObject* parent) : QObject(parent), settings_(std::move(settings)) {
    static Library library;
    answer_.setSingleShot(true);
    connect(&answer_, &QTimer::timeout, this, [this] {
        Fail(Failure::Unreachable, QStringLiteral("no answer within %1 s").arg(answer_.interval() / 1000));
    });
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &MqttLink::Service);
}

MqttLink::~MqttLink() {
    TearDown();
}

void MqttLink::OnConnect(mosquitto*, void* self, int rc) {
    auto* link = static_cast<MqttLink*>(self);
    const quint64 session = link->session_;
    QMetaObject::invokeMethod(
        link, [link, session, rc] { link->Connack(session, rc); }, Qt::QueuedConnection);
}

void MqttLink::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* link = static_cast<MqttLink*>(self);
    const quint64 session = link->session_;
    QMetaObject::invokeMethod(
        link, [link, session, rc] { link->Ended(session, rc); }, Qt::QueuedConnection);
}

void MqttLink::OnPublish(mosquitto*, void* self, int mid) {
    auto* link = static_cast<MqttLink*>(self);
    const quint64 session = link->session_;
    QMetaObject::invokeMethod(
        link,
        [link, session, mid] {
            if (session == link->session_ && link->connected_)
                emit link->Acknowledged(mid);
        },
        Qt::QueuedConnection);
}

void MqttLink::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (!(level & MOSQ_LOG_ERR))
        return;
    auto* link = static_cast<MqttLink*>(self);
    link->lastError_ = QString::fromUtf8(text);
    // A failed TLS handshake ends the library's loop without a disconnect
    // call: the error line is the only word of it.
    if (std::strncmp(text, "OpenSSL Error", 13) == 0) {
        const quint64 session = link->session_;
        QMetaObject::invokeMethod(
            link, [link, session] { link->Ended(session, MOSQ_ERR_TLS); }, Qt::QueuedConnection);
    }
}

void MqttLink::OnStartLog(mosquitto*, void* start, int level, const char* text) {
    if (level & MOSQ_LOG_ERR)
        static_cast<Start*>(start)->error = QString::fromUtf8(text);
}

void MqttLink::Connect() {
    TearDown();
    ++session_;
    lastError_.clear();
    const QByteArray clientId = settings_.clientId.toUtf8();
    mosq_ = mosquitto_new(clientId.constData(), true, this);
    if (!mosq_)
        return Fail(Failure::Unreachable, QString::fromUtf8(std::strerror(errno)));
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(mosq_, unsigned(settings_.maxInflight));
    mosquitto_connect_callback_set(mosq_, &MqttLink::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttLink::OnDisconnect);
    mosquitto_publish_callback_set(mosq_, &MqttLink::OnPublish);
    int rc = mosquitto_will_set(mosq_, settings_.willTopic.constData(), int(settings_.willPayload.size()),
                                settings_.willPayload.constData(), 1, true);
    const QByteArray user = Utf8OrNull(settings_.username), password = Utf8OrNull(settings_.password);
    if (rc == MOSQ_ERR_SUCCESS && !user.isEmpty())
        rc = mosquitto_username_pw_set(mosq_, user.constData(), OrNull(password));
    if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
        const QByteArray ca = settings_.cafile.toLocal8Bit(), cert = Utf8OrNull(settings_.certfile),
                         key = Utf8OrNull(settings_.keyfile);
        rc = mosquitto_tls_set(mosq_, ca.constData(), nullptr, OrNull(cert), OrNull(key), nullptr);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_opts_set(mosq_, 1 /* verify the broker's certificate */, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return Fail(Failure::Tls, QString::fromUtf8(mosquitto_strerror(rc)));
    }
    if (rc != MOSQ_ERR_SUCCESS)
        return Fail(Failure::Unreachable, QString::fromUtf8(mosquitto_strerror(rc)));
    // The name lookup may stall for many seconds: never on the event loop.
    answer_.start(AnswerSeconds(settings_.keepalive) * 1000);
    start_ = std::make_shared<Start>();
    // Until the start is handed back, the library is the thread's alone.
    mosquitto_user_data_set(mosq_, start_.get());
    mosquitto_log_callback_set(mosq_, &MqttLink::OnStartLog);
    std::thread([this, start = start_, mosq = mosq_, session = session_, host = settings_.host.toUtf8(),
                 port = settings_.port, keepalive = settings_.keepalive] {
        const int started = mosquitto_connect_async(mosq, host.constData(), port, keepalive);
        // A failed TLS handshake (on a near broker it runs here) says why only in its error line.
        const bool tls = started == MOSQ_ERR_TLS || start->error.startsWith(QStringLiteral("OpenSSL Error"));
        const QString why = started == MOSQ_ERR_SUCCESS ? QString()
                            : !start->error.isEmpty()   ? start->error
                            : started == MOSQ_ERR_ERRNO ? QString::fromUtf8(std::strerror(errno))
                                                        : QString::fromUtf8(mosquitto_strerror(started));
        const std::lock_guard hold(start->lock);
        start->done = true;
        if (start->abandoned)
            return mosquitto_destroy(mosq);
        QMetaObject::invokeMethod(
            this, [this, session, started, tls, why] { Started(session, started, tls, why); },
            Qt::QueuedConnection);
    }).detach();
}

void MqttLink::Started(quint64 session, int rc, bool tls, const QString& why) {
    if (session != session_ || !mosq_)
        return;
    start_.reset();
    mosquitto_user_data_set(mosq_, this);
    if (rc != MOSQ_ERR_SUCCESS)
        return Fail(tls ? Failure::Tls : Failure::Unreachable, why);
    // From here on the library runs on this thread only.
    mosquitto_log_callback_set(mosq_, &MqttLink::OnLog);
    const int fd = mosquitto_socket(mosq_);
    readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(readable_.get(), &QSocketNotifier::activated, this, &MqttLink::Service);
    connect(writable_.get(), &QSocketNotifier::activated, this, &MqttLink::Service);
    tick_.start();
    WatchWrites();
}

void MqttLink::Service() {
    if (!mosq_)
        return;
    // Never waits: the notifiers said the socket is ready, or the tick came.
    const int rc = mosquitto_loop(mosq_, 0, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        QMetaObject::invokeMethod(
            this, [this, session = session_, rc] { Ended(session, rc); }, Qt::QueuedConnection);
    }
    WatchWrites();
}

void MqttLink::WatchWrites() {
    if (!mosq_ || !readable_)
        return;
    // A socket the library closed may be reused by the next descriptor opened.
    const bool open = mosquitto_socket(mosq_) == int(readable_->socket());
    readable_->setEnabled(open);
    writable_->setEnabled(open && mosquitto_want_write(mosq_));
}

void MqttLink::Connack(quint64 session, int rc) {
    if (session != session_ || !mosq_)
        return;
    answer_.stop();
    if (rc == 0) {
        connected_ = true;
        emit Connected();
        return;
    }
    // 4: bad user name or password; 5: not authorised.
    if (rc == 4 || rc == 5)
        return Fail(Failure::NotAuthorised, QString::fromUtf8(mosquitto_connack_string(rc)));
    Fail(Failure::Refused, QString::fromUtf8(mosquitto_connack_string(rc)));
}

void MqttLink::Ended(quint64 session, int rc) {
    if (session != session_ || !mosq_)
        return;
    QString why = lastError_;
    const bool tls = rc == MOSQ_ERR_TLS || why.contains(QStringLiteral("SSL")) ||
                     why.contains(QStringLiteral("certificate"), Qt::CaseInsensitive);
    if (why.isEmpty())
        why = QString::fromUtf8(mosquitto_strerror(rc));
    Fail(connected_ ? Failure::Lost : tls ? Failure::Tls : Failure::Unreachable, why);
}

void MqttLink::Fail(Failure failure, const QString& reason) {
    TearDown();
    emit Failed(failure, reason);
}

int MqttLink::Publish(const QByteArray& topic, const QByteArray& payload, int qos, bool retain) {
    if (!mosq_ || !connected_)
        return -1;
    int mid = -1;
    const int rc = mosquitto_publish(mosq_, &mid, topic.constData(), int(payload.size()), payload.constData(),
                                     qos, retain);
    WatchWrites();
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void MqttLink::Drop(const QString& reason) {
    if (mosq_)
        Fail(Failure::Lost, reason);
}

void MqttLink::Disconnect() {
    if (mosq_ && connected_) {
        // Written at once on the non-blocking socket, or not at all.
        mosquitto_disconnect(mosq_);
        mosquitto_loop_write(mosq_, 1);
    }
    TearDown();
}

void MqttLink::TearDown() {
    answer_.stop();
    tick_.stop();
    connected_ = false;
    readable_.reset();
    writable_.reset();
    if (!mosq_)
        return;
    ++session_;
    bool ours = true;
    if (start_) {
        const std::lock_guard hold(start_->lock);
        ours = start_->done;
        start_->abandoned = true;
    }
    start_.reset();
    if (ours)
        mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

} // namespace tarvek
