#include "publish/Publisher.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace tarvek {

namespace {

QByteArray StatusTopic(const PublishConfig& c) {
    return (c.prefix + QStringLiteral("/status")).toUtf8();
}

LinkSettings LinkOf(const Publisher::Options& o) {
    // Room for the records' window and the events'.
    return LinkSettings{{o.config}, o.password, StatusTopic(o.config), "offline", 2 * Publisher::InFlight};
}

} // namespace

Publisher::Publisher(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), link_(LinkOf(options_)),
      records_(options_.config, link_, log_), events_(options_.config, link_),
      saver_(options_.config.state, log_) {
    connect(&link_, &MqttLink::Connected, this, &Publisher::OnConnected);
    connect(&link_, &MqttLink::Failed, this, &Publisher::OnFailed);
    connect(&link_, &MqttLink::Acknowledged, this, &Publisher::OnAcknowledged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &Publisher::Follow);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &Publisher::Follow);
    followEvery_.setInterval(2000);
    connect(&followEvery_, &QTimer::timeout, this, &Publisher::Follow);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, &link_, &MqttLink::Connect);
    onceDeadline_.setSingleShot(true);
    connect(&onceDeadline_, &QTimer::timeout, this, [this] {
        log_.Report(QStringLiteral("end"), QStringLiteral("timeout"),
                    QStringLiteral("the broker %1 was not reached within %2 s")
                        .arg(Broker())
                        .arg(options_.timeoutSeconds));
        Finish(1);
    });
    ackDeadline_.setSingleShot(true);
    ackDeadline_.setInterval(AnswerSeconds(options_.config.keepalive) * 1000);
    connect(&ackDeadline_, &QTimer::timeout, this, [this] {
        link_.Drop(QStringLiteral("no acknowledgement within %1 s").arg(ackDeadline_.interval() / 1000));
    });
    offlineGrace_.setSingleShot(true);
    connect(&offlineGrace_, &QTimer::timeout, this, [this] { Finish(exitCode_); });
}

QString Publisher::Broker() const {
    return QStringLiteral("%1:%2").arg(options_.config.host).arg(options_.config.port);
}

bool Publisher::Start() {
    QString error;
    const std::optional<PublishState> state = LoadState(options_.config.state, &error);
    if (!error.isEmpty()) {
        ChangeLog::Line(error);
        return false;
    }
    // Written once now, so that a state file that cannot be written stops
    // the start instead of every record going again after a restart.
    saver_.State() = state ? *state : FirstState();
    if (!saver_.Save())
        return false;
    Rewind();
    StartNotifier(saver_.State().notified);
    followEvery_.start();
    Follow();
    if (!Publishing())
        return true;
    if (options_.once)
        onceDeadline_.start(options_.timeoutSeconds * 1000);
    link_.Connect();
    return true;
}

PublishState Publisher::FirstState() const {
    const PublishConfig& c = options_.config;
    const QString folder = QDir::toNativeSeparators(c.data);
    PublishState first;
    if (const std::optional<RecordPosition> records = StartingPosition(c.data, c.start))
        first.records = *records;
    else
        ChangeLog::Line(
            QStringLiteral("%1: a month file cannot be read; starting before every record").arg(folder));
    if (const std::optional<EventPosition> events = StartingEventPosition(c.data, c.start, c.seals))
        first.events = *events;
    else
        ChangeLog::Line(
            QStringLiteral("%1: an event log cannot be read; starting before every event").arg(folder));
    first.notified = first.events;
    return first;
}

void Publisher::StartNotifier(const EventPosition& notified) {
    if (options_.config.notifyCommand.isEmpty())
        return;
    notify_ = std::make_unique<NotifyStream>(options_.config, notified, ChangeLog::Line, options_.once);
    connect(&notify_->Command(), &CommandRunner::Progressed, this, [this](const EventPosition& at) {
        saver_.State().notified = at;
        saver_.Moved();
        CheckOnce();
    });
    connect(&notify_->Command(), &CommandRunner::Ready, this, &Publisher::CheckOnce, Qt::QueuedConnection);
    connect(&notify_->Command(), &CommandRunner::RunFailed, this, [this] {
        if (!options_.once || stopping_)
            return;
        ChangeLog::Line(QStringLiteral("not every alarm event was notified; the next run notifies them"));
        exitCode_ = 1;
        Stop();
    });
}

void Publisher::Rewind() {
    records_.Rewind(saver_.State().records);
    events_.Rewind(saver_.State().events);
}

void Publisher::Follow() {
    const QString folder = options_.config.data;
    if (!QFileInfo(folder).isDir()) {
        log_.Report(QStringLiteral("folder"), QStringLiteral("missing"),
                    QStringLiteral("%1: the data folder does not exist; waiting for it")
                        .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    log_.Report(QStringLiteral("folder"), QStringLiteral("there"), {});
    Watch();
    if (notify_) {
        notify_->Follow();
        log_.Report(QStringLiteral("notify"), notify_->Error(), notify_->Error());
    }
    SendMore();
}

void Publisher::Watch() {
    const QStringList watched = watcher_.directories() + watcher_.files();
    QStringList wanted = QStringList{options_.config.data} + records_.Watched() + events_.Watched();
    if (QFileInfo(options_.config.seals).isDir())
        wanted += options_.config.seals;
    for (const QString& path : watched)
        if (!wanted.contains(path))
            watcher_.removePath(path);
    for (const QString& path : wanted)
        if (!watched.contains(path))
            watcher_.addPath(path);
}

void Publisher::SendMore(bool events) {
    if (link_.IsConnected() && !stopping_) {
        if (records_.SendMore())
            Watch();
        if (events)
            events_.SendMore();
        for (const QString& note : events_.TakeNotes())
            ChangeLog::Line(note);
        log_.Report(QStringLiteral("events"), events_.Error(), events_.Error());
        if (!ackDeadline_.isActive() && !(records_.Empty() && events_.Empty()))
            ackDeadline_.start();
    }
    CheckOnce();
}

void Publisher::CheckOnce() {
    if (!options_.once || stopping_)
        return;
    const bool published = !Publishing() || (records_.CaughtUp() && events_.CaughtUp());
    if (published && (!notify_ || notify_->Idle()))
        EndOnce();
}

void Publisher::EndOnce() {
    QStringList missed = records_.Missed();
    if (Publishing())
        missed += events_.Missed();
    if (!missed.isEmpty()) {
        ChangeLog::Line(QStringLiteral("not every stored record was sent: ") +
                        missed.join(QStringLiteral("; ")));
        exitCode_ = 1;
    }
    Stop();
}

void Publisher::OnConnected() {
    churn_.Connected(QDateTime::currentMSecsSinceEpoch());
    log_.Report(QStringLiteral("link"), QStringLiteral("connected"),
                QStringLiteral("connected to the broker %1").arg(Broker()));
    backoff_.Reset();
    onceDeadline_.stop();
    link_.Publish(StatusTopic(options_.config), QByteArrayLiteral("online"), 1, true);
    Rewind();
    SendMore();
}

void Publisher::OnFailed(MqttLink::Failure failure, const QString& reason) {
    ackDeadline_.stop();
    Rewind();
    if (stopping_)
        return Finish(exitCode_);
    const int wait = churn_.After(failure == MqttLink::Failure::Lost, QDateTime::currentMSecsSinceEpoch(),
                                  backoff_.Next(failure == MqttLink::Failure::NotAuthorised));
    const bool takenOver = churn_.Suspected();
    log_.Report(QStringLiteral("takeover"), takenOver ? QStringLiteral("suspected") : QString(),
                takenOver ? TakeoverText(Broker(), options_.config.clientId, SessionChurn::MaxWaitSeconds)
                          : QString());
    log_.Report(QStringLiteral("link"), QString::number(int(failure)),
                takenOver ? QString() : FailureText(failure, Broker(), options_.config.username, reason));
    retry_.start(wait * 1000);
    if (options_.once && !onceDeadline_.isActive())
        onceDeadline_.start(options_.timeoutSeconds * 1000);
}

void Publisher::OnAcknowledged(int mid) {
    if (mid == offlineMid_)
        return Finish(exitCode_);
    const std::optional<int> events = events_.Acknowledge(mid);
    const int moved = events ? *events : records_.Acknowledge(mid).value_or(0);
    if (moved && events)
        saver_.State().events = events_.Acknowledged();
    else if (moved)
        saver_.State().records = records_.Acknowledged();
    if (records_.Empty() && events_.Empty())
        ackDeadline_.stop();
    else if (moved)
        ackDeadline_.start();
    if (moved)
        saver_.Moved(moved);
    SendMore(events.has_value());
}

void Publisher::Stop() {
    if (stopping_)
        return;
    stopping_ = true;
    saver_.SaveNow();
    offlineMid_ = link_.Publish(StatusTopic(options_.config), QByteArrayLiteral("offline"), 1, true);
    if (offlineMid_ < 0)
        return Finish(exitCode_);
    // The broker's acknowledgement ends the run; a broker that does not
    // answer gets one second.
    offlineGrace_.start(1000);
}

void Publisher::Finish(int exitCode) {
    if (std::exchange(finished_, true))
        return;
    offlineGrace_.stop();
    retry_.stop();
    onceDeadline_.stop();
    followEvery_.stop();
    saver_.SaveNow();
    link_.Disconnect();
    emit Finished(exitCode);
}

} // namespace tarvek
