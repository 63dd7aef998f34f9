#include "publish/EventFeed.h"

#include "data/StoredTime.h"

#include <QDir>

namespace tarvek {

void EventFeed::SeekAfter(const EventPosition& position) {
    position_ = position;
    atEnd_.clear();
    toUtc_.Reset();
}

QStringList EventFeed::Watched() const {
    return follower_.Watched(read_);
}

bool EventFeed::Read(qint64 most, std::vector<FedEvent>& out) {
    firstFailure_.clear();
    read_.clear();
    const qint64 wanted = qint64(out.size()) + most;
    // Each log to its end before the next, so a backlog goes in calendar order.
    for (const MonthLook& look : follower_.Step()) {
        if (look.change == FileChange::Removed || qint64(out.size()) >= wanted ||
            (!look.due && atEnd_.count(look.name)))
            continue;
        atEnd_.erase(look.name);
        const OpenedFile file = follower_.Open(look.name);
        Step step =
            ReadFile(look.name, file, look.change == FileChange::Replaced, wanted - qint64(out.size()), out);
        while (step == Step::Read && qint64(out.size()) < wanted)
            step = ReadFile(look.name, file, false, wanted - qint64(out.size()), out);
        if (step == Step::AtEnd)
            atEnd_.insert(look.name);
        if (step == Step::Failed && firstFailure_.isEmpty())
            firstFailure_ = lastFailure_;
    }
    return firstFailure_.isEmpty();
}

EventFeed::Step EventFeed::ReadFile(const QString& name, const OpenedFile& file, bool replaced, qint64 most,
                                    std::vector<FedEvent>& out) {
    const QString path = QDir::toNativeSeparators(follower_.PathOf(name));
    if (!file) {
        lastFailure_ = QStringLiteral("%1: %2").arg(path, file.Failure());
        return Step::Failed;
    }
    const qint64 whole = file.Stamp().size / EventRecordLength;
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
    const std::optional<QByteArray> bytes =
        file.Read(at * EventRecordLength, count * EventRecordLength, &reason);
    if (!bytes) {
        lastFailure_ = QStringLiteral("%1: %2").arg(path, reason);
        return Step::Failed;
    }
    EventBytes read = ParseEventBytes(*bytes, at + 1);
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
