#include "publish/EventFeed.h"

#include "data/StoredTime.h"
#include "publish/SealEvents.h"
#include "seal/SealLine.h"

#include <QDir>

namespace tarvek {

void EventFeed::SeekAfter(const EventPosition& position) {
    position_ = position;
    atEnd_.clear();
    toUtc_.Reset();
}

void EventFeed::FollowSeals(const QString& folder, const QString& alarmKind) {
    seals_.emplace(folder, MonthFileKind::Seals);
    alarmKind_ = alarmKind;
}

QStringList EventFeed::Watched() const {
    QStringList logs, seals;
    for (const QString& name : read_)
        (MonthKey(name, MonthFileKind::Seals) < 0 ? logs : seals) += name;
    return follower_.Watched(logs) + (seals_ ? seals_->Watched(seals) : QStringList());
}

bool EventFeed::Read(qint64 most, std::vector<FedEvent>& out) {
    firstFailure_.clear();
    read_.clear();
    const qint64 wanted = qint64(out.size()) + most;
    ReadFrom(follower_, wanted, out);
    if (seals_)
        ReadFrom(*seals_, wanted, out);
    return firstFailure_.isEmpty();
}

void EventFeed::ReadFrom(MonthFolderFollower& from, qint64 wanted, std::vector<FedEvent>& out) {
    // Each log to its end before the next, so a backlog goes in calendar order.
    for (const MonthLook& look : from.Step()) {
        if (look.change == FileChange::Removed || qint64(out.size()) >= wanted ||
            (!look.due && atEnd_.count(look.name)))
            continue;
        atEnd_.erase(look.name);
        const OpenedFile file = from.Open(look.name);
        Step step = ReadFile(from, look.name, file, look.change == FileChange::Replaced,
                             wanted - qint64(out.size()), out);
        while (step == Step::Read && qint64(out.size()) < wanted)
            step = ReadFile(from, look.name, file, false, wanted - qint64(out.size()), out);
        if (step == Step::AtEnd)
            atEnd_.insert(look.name);
        if (step == Step::Failed && firstFailure_.isEmpty())
            firstFailure_ = lastFailure_;
    }
}

EventFeed::Step EventFeed::ReadFile(MonthFolderFollower& from, const QString& name, const OpenedFile& file,
                                    bool replaced, qint64 most, std::vector<FedEvent>& out) {
    const bool seals = &from != &follower_;
    const qint64 length = seals ? SealLineLength : EventRecordLength;
    const QString path = QDir::toNativeSeparators(from.PathOf(name));
    if (!file) {
        lastFailure_ = QStringLiteral("%1: %2").arg(path, file.Failure());
        return Step::Failed;
    }
    const qint64 whole = file.Stamp().size / length;
    qint64& at = position_.logs[name];
    if (whole < at || (replaced && at > 0)) {
        notes_
            << (replaced
                    ? QStringLiteral("%1 was replaced by another file: read again from its start").arg(path)
                    : QStringLiteral("%1 holds %2 records, fewer than the %3 already read: read "
                                     "again from its start")
                          .arg(path)
                          .arg(whole)
                          .arg(at));
        at = 0;
        toUtc_.Reset();
        ++rewritten_;
    }
    const qint64 count = std::min(most, whole - at);
    QString reason;
    const std::optional<QByteArray> bytes = file.Read(at * length, count * length, &reason);
    if (!bytes) {
        lastFailure_ = QStringLiteral("%1: %2").arg(path, reason);
        return Step::Failed;
    }
    if (seals) {
        SealBytes lines = ParseSealBytes(*bytes, at + 1, name, alarmKind_);
        skipped_ += lines.skipped;
        if (lines.skipped > 0)
            notes_ << QStringLiteral("%1: lines not sent, as they are no seal lines: %2")
                          .arg(path)
                          .arg(lines.skipped);
        std::move(lines.lines.begin(), lines.lines.end(), std::back_inserter(out));
    }
    EventBytes read = seals ? EventBytes{} : ParseEventBytes(*bytes, at + 1);
    skipped_ += read.skipped;
    if (read.skipped > 0)
        notes_ << QStringLiteral("%1: records not sent, as they are no event records: %2")
                      .arg(path)
                      .arg(read.skipped);
    for (LoggedEvent& logged : read.events) {
        // Every event parsed has its time (ParseEventRecord).
        const qint64 localMs = *EventStamp(logged.event.date, logged.event.time);
        out.push_back({{name, logged.record}, std::move(logged.event), localMs, toUtc_.ToUtc(localMs)});
    }
    at += count;
    if (count > 0 && !read_.contains(name))
        read_ += name;
    return at < whole ? Step::Read : Step::AtEnd;
}

} // namespace tarvek
