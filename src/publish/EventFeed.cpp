#include "publish/EventFeed.h"

#include "common/SharedFile.h"
#include "data/DataFileReader.h"
#include "data/MonthFiles.h"
#include "data/StoredTime.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

void EventFeed::SeekAfter(const EventPosition& position) {
    position_ = position;
    clock_.Reset();
}

const QStringList& EventFeed::Files() {
    const FileStamp stamp = StampOf(folder_);
    if (!(stamp == folderStamp_ && stamp.exists)) {
        folderStamp_ = stamp;
        files_ = EventFilesIn(folder_);
    }
    return files_;
}

QStringList WatchedPaths(const QString& folder, const QStringList& read, const QStringList& files) {
    QStringList paths;
    for (const QString& name : read)
        paths += folder + u'/' + name;
    if (!files.isEmpty() && !read.contains(files.last()))
        paths += folder + u'/' + files.last();
    return paths;
}

QStringList EventFeed::Watched() {
    return WatchedPaths(folder_, read_, Files());
}

bool EventFeed::Read(qint64 most, std::vector<FedEvent>& out) {
    error_.clear();
    read_.clear();
    const qint64 wanted = qint64(out.size()) + most;
    const QStringList files = Files();
    // Each log to its end before the next, so a backlog goes in calendar order.
    for (const QString& name : files) {
        Step step = Step::Read;
        while (step == Step::Read && qint64(out.size()) < wanted)
            step = ReadFile(name, wanted - qint64(out.size()), out);
        if (step == Step::Failed && error_.isEmpty())
            error_ = failure_;
    }
    return error_.isEmpty();
}

EventFeed::Step EventFeed::ReadFile(const QString& name, qint64 most, std::vector<FedEvent>& out) {
    const QString path = folder_ + u'/' + name;
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    struct stat st {};
    if (!file || ::fstat(file.fd, &st) != 0) {
        failure_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                file ? qt_error_string(errno) : file.reason);
        if (file)
            ::close(file.fd);
        return Step::Failed;
    }
    const qint64 whole = st.st_size / EventRecordLength;
    qint64& at = position_.logs[name];
    const auto seen = seen_.find(name);
    const bool replaced = seen != seen_.end() && seen->second.inode != quint64(st.st_ino);
    if (whole < at || (replaced && at > 0)) {
        notes_ << (replaced ? QStringLiteral("%1 was replaced by another file: read again from its start")
                                  .arg(QDir::toNativeSeparators(path))
                            : QStringLiteral("%1 holds %2 records, fewer than the %3 already read: read "
                                             "again from its start")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(whole)
                                  .arg(at));
        at = 0;
        clock_.Reset();
        ++rewritten_;
    }
    seen_[name] = {quint64(st.st_ino), qint64(st.st_size)};
    const qint64 count = std::min(most, whole - at);
    QByteArray bytes(count * EventRecordLength, '\0');
    const qint64 n = count > 0 ? ReadAt(file.fd, bytes.data(), bytes.size(), at * EventRecordLength) : 0;
    const int readError = errno;
    ::close(file.fd);
    if (n != bytes.size()) {
        failure_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                                n < 0 ? qt_error_string(readError)
                                                      : QStringLiteral("cut while read"));
        return Step::Failed;
    }
    EventBytes read = ParseEventBytes(bytes, at + 1);
    skipped_ += read.skipped;
    if (read.skipped > 0)
        notes_ << QStringLiteral("%1: records not sent, as they are no event records: %2")
                      .arg(QDir::toNativeSeparators(path))
                      .arg(read.skipped);
    for (LoggedEvent& logged : read.events) {
        // Every event parsed has its time (ParseEventRecord).
        const qint64 localMs = *EventStamp(logged.event.date, logged.event.time);
        out.push_back({{name, logged.record}, std::move(logged.event), localMs, clock_.ToUtc(localMs)});
    }
    at += count;
    if (count > 0 && !read_.contains(name))
        read_ += name;
    return at < whole ? Step::Read : Step::AtEnd;
}

} // namespace tarvek
