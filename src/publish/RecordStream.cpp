#include "publish/RecordStream.h"

#include "common/Folders.h"
#include "config/ChannelSettings.h"
#include "publish/Payload.h"

#include <QDir>

namespace tarvek {

RecordStream::RecordStream(const PublishConfig& config, MqttLink& link, ChangeLog& log)
    : config_(config), link_(link), log_(log), feed_(config.data) {}

QByteArray RecordStream::Topic(const QByteArray& leaf) const {
    return config_.prefix.toUtf8() + '/' + leaf;
}

void RecordStream::Rewind(const RecordPosition& acknowledged) {
    acknowledged_ = acknowledged;
    window_.Clear();
    channelMids_.clear();
    channelsSent_.reset();
    removed_.reset();
    caughtUp_ = false;
    feed_.SeekAfter(acknowledged);
    // The true time of the record acknowledged places the next ones: its
    // wall-clock time alone could stand for either pass of a repeated hour.
    toUtc_.Reset();
    if (acknowledged.utcMs)
        toUtc_.Continue(*acknowledged.utcMs);
}

bool RecordStream::SendMore() {
    const qint64 room = window_.Room();
    if (room == 0)
        return false;
    std::vector<FedRecord> records;
    records.reserve(room);
    feed_.Read(room, records);
    for (const QString& note : feed_.TakeNotes())
        ChangeLog::Line(note);
    const QByteArray topic = Topic("record");
    for (const FedRecord& r : records) {
        const qint64 utc = toUtc_.ToUtc(r.record.localMs);
        const QByteArray payload = RecordPayload(r.file, r.position.number, r.record, utc);
        const int mid = link_.Publish(topic, payload, config_.qos, false);
        if (mid < 0)
            return false; // the link's failure follows; everything after the acknowledged record goes again
        window_.Sent(mid, {r.file, r.position, utc});
        lastSent_ = r;
        lastSentUtc_ = utc;
    }
    caughtUp_ = qint64(records.size()) < room;
    if (caughtUp_)
        PublishChannels();
    return caughtUp_;
}

void RecordStream::PublishChannels() {
    if (!lastSent_ || (channelsSent_ && channelsSent_->file == lastSent_->file &&
                       channelsSent_->position == lastSent_->position))
        return;
    const ChannelSetUp setUp = ReadChannelSettings(SettingFolderBesideData(config_.data), LinkPolicy::Refuse);
    log_.Report(QStringLiteral("setup"), setUp.problem, setUp.problem);
    if (!setUp.Read())
        return;
    channelsSent_ = lastSent_;
    const StoredRecord& r = lastSent_->record;
    for (int c = 0; c < ChannelCount; ++c) {
        const ChannelSettings& s = setUp.channels[c];
        // An empty retained message removes what the broker keeps for a
        // channel made inactive: no subscriber takes an old value as current.
        if (!s.active && removed_[c])
            continue;
        removed_[c] = !s.active;
        const QByteArray payload =
            s.active ? ChannelPayload(r.values[c], r.localMs, lastSentUtc_, s) : QByteArray();
        const int mid =
            link_.Publish(Topic("channel/" + QByteArray::number(c + 1)), payload, config_.qos, true);
        if (mid >= 0 && config_.qos > 0)
            channelMids_.insert(mid);
    }
}

std::optional<int> RecordStream::Acknowledge(int mid) {
    if (channelMids_.remove(mid))
        return 0;
    if (!window_.Holds(mid))
        return std::nullopt;
    int moved = 0;
    for (Sent& sent : window_.Acknowledge(mid)) {
        acknowledged_.files[sent.file] = std::move(sent.position);
        acknowledged_.utcMs = sent.utcMs;
        ++moved;
    }
    return moved;
}

QStringList RecordStream::Missed() const {
    QStringList missed;
    for (const QString& name : feed_.Unreadable())
        missed += QDir::toNativeSeparators(feed_.Folder() + u'/' + name) + QStringLiteral(" cannot be read");
    if (feed_.NotData() > 0)
        missed += QStringLiteral("%1 counted records are not data records").arg(feed_.NotData());
    return missed;
}

} // namespace tarvek
