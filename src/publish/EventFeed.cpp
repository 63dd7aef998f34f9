#include "publish/EventFeed.h"

#include "common/SharedFile.h"
#include "data/DataFileReader.h"
#include "data/MonthFiles.h"
#include "data/StoredTime.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

qint64 EventLocalMs(const QString& date, const QString& time) {
    const QString text = date.mid(6, 4) + u'-' + date.mid(3, 2) + u'-' + date.left(2) + u'T' + time;
    return ParseStoredTime(text).value_or(0);
}

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

void EventFeed::CheckPassed() {
    for (auto& [name, seen] : seen_) {
        if (name == position_.file)
            continue;
        const FileStamp now = StampOf(folder_ + u'/' + name);
        if (!now.exists || (now.inode == seen.inode && now.size >= seen.size))
            continue;
        notes_ << QStringLiteral("%1 was cut shorter or replaced after it was read")
                      .arg(QDir::toNativeSeparators(folder_ + u'/' + name));
        seen = {now.inode, now.size};
        ++rewritten_;
    }
}

bool EventFeed::Read(qint64 most, std::vector<FedEvent>& out) {
    error_.clear();
    CheckPassed();
    const qint64 wanted = qint64(out.size()) + most;
    while (qint64(out.size()) < wanted) {
        const QStringList files = Files();
        if (position_.file.isEmpty() || !files.contains(position_.file)) {
            // Before every log, or after one that is gone: the next month on.
            const int after = position_.file.isEmpty() ? -1 : MonthKey(position_.file, MonthFileKind::Events);
            const auto next = std::find_if(files.begin(), files.end(), [&](const QString& f) {
                return MonthKey(f, MonthFileKind::Events) > after;
            });
            if (next == files.end())
                return true;
            position_ = {*next, 0};
        }
        const Step step = ReadFile(wanted - qint64(out.size()), out);
        if (step == Step::Failed)
            return false;
        if (step == Step::AtEnd) {
            const qsizetype at = files.indexOf(position_.file);
            if (at < 0 || at + 1 >= files.size())
                return true;
            position_ = {files[at + 1], 0};
        }
    }
    return true;
}

EventFeed::Step EventFeed::ReadFile(qint64 most, std::vector<FedEvent>& out) {
    const QString path = folder_ + u'/' + position_.file;
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    struct stat st {};
    if (!file || ::fstat(file.fd, &st) != 0) {
        error_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                              file ? qt_error_string(errno) : file.reason);
        if (file)
            ::close(file.fd);
        return Step::Failed;
    }
    const qint64 whole = st.st_size / EventRecordLength;
    const auto seen = seen_.find(position_.file);
    const bool replaced = seen != seen_.end() && seen->second.inode != quint64(st.st_ino);
    if (whole < position_.record || (replaced && position_.record > 0)) {
        notes_ << (replaced ? QStringLiteral("%1 was replaced by another file: read again from its start")
                                  .arg(QDir::toNativeSeparators(path))
                            : QStringLiteral("%1 holds %2 records, fewer than the %3 already read: read "
                                             "again from its start")
                                  .arg(QDir::toNativeSeparators(path))
                                  .arg(whole)
                                  .arg(position_.record));
        position_.record = 0;
        clock_.Reset();
        ++rewritten_;
    }
    seen_[position_.file] = {quint64(st.st_ino), qint64(st.st_size)};
    const qint64 count = std::min(most, whole - position_.record);
    QByteArray bytes(count * EventRecordLength, '\0');
    const qint64 n =
        count > 0 ? ReadAt(file.fd, bytes.data(), bytes.size(), position_.record * EventRecordLength) : 0;
    const int readError = errno;
    ::close(file.fd);
    if (n != bytes.size()) {
        error_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                              n < 0 ? qt_error_string(readError)
                                                    : QStringLiteral("cut while read"));
        return Step::Failed;
    }
    EventBytes read = ParseEventBytes(bytes, position_.record + 1);
    skipped_ += read.skipped;
    for (LoggedEvent& logged : read.events) {
        const qint64 localMs = EventLocalMs(logged.event.date, logged.event.time);
        out.push_back(
            {{position_.file, logged.record}, std::move(logged.event), localMs, clock_.ToUtc(localMs)});
    }
    position_.record += count;
    return position_.record < whole ? Step::Read : Step::AtEnd;
}

} // namespace tarvek
