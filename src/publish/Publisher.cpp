#include "publish/Publisher.h"

#include "common/Folders.h"
#include "config/ChannelSettings.h"
#include "data/EventLog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace tarvek {

namespace {

void SayLine(const QString& text) {
    std::fprintf(stderr, "tarvek-publish: %s\n", qPrintable(text));
    std::fflush(stderr);
}

LinkSettings LinkOf(const Publisher::Options& o) {
    const PublishConfig& c = o.config;
    return LinkSettings{{c},
                        o.password,
                        (c.prefix + QStringLiteral("/status")).toUtf8(),
                        QByteArrayLiteral("offline"),
                        2 * Publisher::Window}; // the records' window and the events'
}

} // namespace

Publisher::Publisher(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), link_(LinkOf(options_)), feed_(options_.config.data),
      events_(options_.config, link_) {
    connect(&link_, &MqttLink::Connected, this, &Publisher::OnConnected);
    connect(&link_, &MqttLink::Failed, this, &Publisher::OnFailed);
    connect(&link_, &MqttLink::Acknowledged, this, &Publisher::OnAcknowledged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &Publisher::Follow);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &Publisher::Follow);
    // Notifications carry the records; the slow poll only catches a folder
    // that appears or a notification the kernel dropped.
    poll_.setInterval(2000);
    connect(&poll_, &QTimer::timeout, this, &Publisher::Follow);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, &link_, &MqttLink::Connect);
    save_.setSingleShot(true);
    connect(&save_, &QTimer::timeout, this, &Publisher::SaveNow);
    giveUp_.setSingleShot(true);
    connect(&giveUp_, &QTimer::timeout, this, [this] {
        Say(QStringLiteral("end"), QStringLiteral("timeout"),
            QStringLiteral("the broker %1 was not reached within %2 s")
                .arg(Broker())
                .arg(options_.timeoutSeconds));
        Finish(1);
    });
    answer_.setSingleShot(true);
    answer_.setInterval(AnswerSeconds(options_.config.keepalive) * 1000);
    connect(&answer_, &QTimer::timeout, this, [this] {
        link_.Drop(QStringLiteral("no acknowledgement within %1 s").arg(answer_.interval() / 1000));
    });
    lastWord_.setSingleShot(true);
    connect(&lastWord_, &QTimer::timeout, this, [this] { Finish(exitCode_); });
    sinceSave_.start();
}

QByteArray Publisher::Topic(const char* leaf) const {
    return (options_.config.prefix + u'/' + QLatin1StringView(leaf)).toUtf8();
}

QString Publisher::Broker() const {
    return QStringLiteral("%1:%2").arg(options_.config.host).arg(options_.config.port);
}

void Publisher::Say(const QString& topic, const QString& state, const QString& text) {
    auto it = said_.find(topic);
    if (it != said_.end() && *it == state)
        return;
    said_[topic] = state;
    if (!text.isEmpty())
        SayLine(text);
}

bool Publisher::Start() {
    QString error;
    std::optional<int> formerKey;
    std::optional<FeedPosition> position = LoadPosition(options_.config.state, &error, &formerKey);
    if (!error.isEmpty()) {
        SayLine(error);
        return false;
    }
    if (!position || formerKey) {
        std::optional<FeedPosition> start = StartingPosition(feed_, options_.config.start, formerKey);
        if (!start) {
            SayLine(QStringLiteral("%1: a month file cannot be read; starting before every record")
                        .arg(QDir::toNativeSeparators(feed_.Folder())));
            start = FeedPosition{};
        }
        if (position) // the former state's own file goes on from its record
            for (const auto& [name, at] : position->files)
                start->files[name] = at;
        position = start;
    }
    if (!position->events) { // a first run, or a state written before events were sent
        position->events = StartingEventPosition(options_.config.data, options_.config.start);
        if (!position->events) {
            SayLine(QStringLiteral("%1: an event log cannot be read; starting before every event")
                        .arg(QDir::toNativeSeparators(options_.config.data)));
            position->events = EventPosition{};
        }
        position->notified = position->events;
    }
    for (EventPosition* at : {&*position->events, &*position->notified})
        if (!PassEarlierLogs(options_.config.data, *at))
            SayLine(QStringLiteral("%1: an event log cannot be read; the logs before the state's own "
                                   "are read from their start")
                        .arg(QDir::toNativeSeparators(options_.config.data)));
    // Written once now, so that a state file that cannot be written stops
    // the start instead of every record going again after a restart.
    acknowledged_ = *position;
    dirty_ = true;
    SaveNow();
    if (dirty_)
        return false;
    Rewind();
    StartNotifier(*position->notified);
    poll_.start();
    Follow();
    if (!Publishing())
        return true;
    if (options_.once)
        giveUp_.start(options_.timeoutSeconds * 1000);
    link_.Connect();
    return true;
}

void Publisher::StartNotifier(const EventPosition& notified) {
    const PublishConfig& c = options_.config;
    if (c.notifyCommand.isEmpty())
        return;
    notify_ = std::make_unique<NotifyStream>(c, notified, SayLine, options_.once);
    connect(&notify_->Command(), &Notifier::Progressed, this, [this](const EventPosition& at) {
        acknowledged_.notified = at;
        SaveSoon();
        CheckOnce();
    });
    connect(&notify_->Command(), &Notifier::Ready, this, &Publisher::CheckOnce, Qt::QueuedConnection);
    connect(&notify_->Command(), &Notifier::RunFailed, this, [this] {
        if (!options_.once || stopping_)
            return;
        SayLine(QStringLiteral("not every alarm event was notified; the next run notifies them"));
        exitCode_ = 1;
        Stop();
    });
}

void Publisher::Rewind() {
    records_.Clear();
    events_.Rewind(*acknowledged_.events);
    channelMids_.clear();
    channelsSent_.reset();
    feed_.SeekAfter(acknowledged_);
    // The true time of the record acknowledged places the next ones: its
    // wall-clock time alone could stand for either pass of a repeated hour.
    toUtc_.Reset();
    if (acknowledged_.utcMs)
        toUtc_.Continue(*acknowledged_.utcMs);
}

void Publisher::Follow() {
    const QString folder = options_.config.data;
    if (!QFileInfo(folder).isDir()) {
        Say(QStringLiteral("folder"), QStringLiteral("missing"),
            QStringLiteral("%1: the data folder does not exist; waiting for it")
                .arg(QDir::toNativeSeparators(folder)));
        return;
    }
    Say(QStringLiteral("folder"), QStringLiteral("there"), {});
    Watch();
    if (notify_) {
        notify_->Follow();
        Say(QStringLiteral("notify"), notify_->Error(), notify_->Error());
    }
    Pump();
}

void Publisher::Watch() {
    const QStringList watched = watcher_.directories() + watcher_.files();
    const QStringList wanted = QStringList{options_.config.data} + feed_.Watched() + events_.Watched();
    for (const QString& path : watched)
        if (!wanted.contains(path))
            watcher_.removePath(path);
    for (const QString& path : wanted)
        if (!watched.contains(path))
            watcher_.addPath(path);
}

void Publisher::Pump(bool events) {
    if (link_.IsConnected() && !stopping_) {
        PumpRecords();
        if (events)
            events_.Pump();
        for (const QString& note : events_.TakeNotes())
            SayLine(note);
        Say(QStringLiteral("events"), events_.Error(), events_.Error());
        if (!answer_.isActive() && !(records_.Empty() && events_.Empty()))
            answer_.start();
    }
    CheckOnce();
}

void Publisher::PumpRecords() {
    const qint64 room = records_.Room();
    if (room == 0)
        return;
    std::vector<FedRecord> records;
    records.reserve(room);
    feed_.Read(room, records);
    for (const QString& note : feed_.TakeNotes())
        SayLine(note);
    const QByteArray topic = Topic("record");
    for (const FedRecord& r : records) {
        const qint64 utc = toUtc_.ToUtc(r.record.localMs);
        const QByteArray payload = RecordPayload(r.file, r.position.number, r.record, utc);
        const int mid = link_.Publish(topic, payload, options_.config.qos, false);
        if (mid < 0)
            return; // the link's failure follows; everything after the acknowledged record goes again
        records_.Sent(mid, {r.file, r.position, utc});
        lastSent_ = r;
        lastSentUtc_ = utc;
    }
    caughtUp_ = qint64(records.size()) < room;
    if (caughtUp_) {
        Watch();
        PublishChannels();
    }
}

void Publisher::CheckOnce() {
    if (!options_.once || stopping_)
        return;
    const bool published =
        !Publishing() || (caughtUp_ && records_.Empty() && channelMids_.isEmpty() && events_.CaughtUp());
    if (published && (!notify_ || notify_->Idle()))
        EndOnce();
}

void Publisher::EndOnce() {
    QStringList missed;
    for (const QString& name : feed_.Unreadable())
        missed += QDir::toNativeSeparators(feed_.Folder() + u'/' + name) + QStringLiteral(" cannot be read");
    if (feed_.NotData() > 0)
        missed += QStringLiteral("%1 counted records are not data records").arg(feed_.NotData());
    if (Publishing())
        missed += events_.Missed();
    if (!missed.isEmpty()) {
        SayLine(QStringLiteral("not every stored record was sent: ") + missed.join(QStringLiteral("; ")));
        exitCode_ = 1;
    }
    Stop();
}

void Publisher::PublishChannels() {
    if (!lastSent_ || (channelsSent_ && channelsSent_->file == lastSent_->file &&
                       channelsSent_->position == lastSent_->position))
        return;
    const ChannelSetUp setUp =
        ReadChannelSettings(SettingFolderBesideData(options_.config.data), LinkPolicy::Refuse);
    Say(QStringLiteral("setup"), setUp.problem, setUp.problem);
    if (!setUp.Read())
        return;
    channelsSent_ = lastSent_;
    const StoredRecord& r = lastSent_->record;
    for (int c = 0; c < ChannelCount; ++c) {
        const ChannelSettings& s = setUp.channels[c];
        if (!s.active)
            continue;
        const QByteArray topic = Topic("channel/") + QByteArray::number(c + 1);
        const int mid = link_.Publish(topic, ChannelPayload(r.values[c], r.localMs, lastSentUtc_, s),
                                      options_.config.qos, true);
        if (mid >= 0 && options_.config.qos > 0)
            channelMids_.insert(mid);
    }
}

void Publisher::OnConnected() {
    churn_.Connected(QDateTime::currentMSecsSinceEpoch());
    Say(QStringLiteral("link"), QStringLiteral("connected"),
        QStringLiteral("connected to the broker %1").arg(Broker()));
    backoff_.Reset();
    giveUp_.stop();
    link_.Publish(Topic("status"), QByteArrayLiteral("online"), 1, true);
    Rewind();
    Pump();
}

void Publisher::OnFailed(MqttLink::Failure failure, const QString& reason) {
    answer_.stop();
    Rewind();
    if (stopping_)
        return Finish(exitCode_);
    const int wait = churn_.After(failure == MqttLink::Failure::Lost, QDateTime::currentMSecsSinceEpoch(),
                                  backoff_.Next(failure == MqttLink::Failure::NotAuthorised));
    Say(QStringLiteral("takeover"), churn_.Suspected() ? QStringLiteral("suspected") : QString(),
        churn_.Suspected() ? TakeoverText(Broker(), options_.config.clientId, SessionChurn::MaxWaitSeconds)
                           : QString());
    Say(QStringLiteral("link"), QString::number(int(failure)),
        churn_.Suspected() ? QString() : FailureText(failure, Broker(), options_.config.username, reason));
    retry_.start(wait * 1000);
    if (options_.once && !giveUp_.isActive())
        giveUp_.start(options_.timeoutSeconds * 1000);
}

void Publisher::OnAcknowledged(int mid) {
    if (mid == offlineMid_)
        return Finish(exitCode_);
    if (channelMids_.remove(mid)) {
        Pump(false);
        return;
    }
    int moved = 0;
    const std::optional<int> events = events_.Acknowledge(mid);
    if (events) {
        moved = *events;
        acknowledged_.events = events_.Acknowledged();
    } else {
        for (RecordPlace& p : records_.Acknowledge(mid)) {
            acknowledged_.files[p.file] = std::move(p.position);
            acknowledged_.utcMs = p.utc;
            ++moved;
        }
    }
    acknowledgedSinceSave_ += moved;
    if (records_.Empty() && events_.Empty())
        answer_.stop();
    else if (moved)
        answer_.start();
    // A back-fill saves its progress often, so a kill repeats little of it.
    if (acknowledgedSinceSave_ >= SaveEvery)
        SaveNow();
    else if (moved)
        SaveSoon();
    Pump(events.has_value());
}

void Publisher::SaveSoon() {
    dirty_ = true;
    if (!save_.isActive())
        save_.start(std::max<qint64>(0, 1000 - sinceSave_.elapsed()));
}

void Publisher::SaveNow() {
    save_.stop();
    if (!dirty_)
        return;
    QString error;
    const bool saved = SavePosition(options_.config.state, acknowledged_, &error);
    Say(QStringLiteral("state"), error, error);
    dirty_ = !saved;
    if (saved)
        acknowledgedSinceSave_ = 0;
    sinceSave_.restart();
}

void Publisher::Stop() {
    if (stopping_)
        return;
    stopping_ = true;
    SaveNow();
    offlineMid_ = link_.Publish(Topic("status"), QByteArrayLiteral("offline"), 1, true);
    if (offlineMid_ < 0)
        return Finish(exitCode_);
    // The broker's acknowledgement ends the run; a broker that does not
    // answer gets one second.
    lastWord_.start(1000);
}

void Publisher::Finish(int exitCode) {
    if (std::exchange(finished_, true))
        return;
    lastWord_.stop();
    retry_.stop();
    giveUp_.stop();
    poll_.stop();
    SaveNow();
    link_.Disconnect();
    emit Finished(exitCode);
}

} // namespace tarvek
