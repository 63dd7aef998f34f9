#include "viewer/EventSource.h"

#include "common/TextHelpers.h"
#include "data/MonthFiles.h"
#include "viewer/AlarmList.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace tarvek {

void EventSource::Open(const QString& folder) {
    folder_ = folder;
    folderStamp_ = {};
    folderTrusted_ = false;
    files_.clear();
    if (!FollowStep())
        Gather();
}

bool EventSource::FollowStep() {
    if (folder_.isEmpty())
        return false;
    bool changed = false;
    if (const FileStamp stamp = StampOf(folder_); !folderTrusted_ || stamp != folderStamp_) {
        // A file made within the same tick of the file system's clock leaves
        // the folder's stamp as it was: a stamp that recent is listed again.
        folderStamp_ = stamp;
        folderTrusted_ = QDateTime::currentMSecsSinceEpoch() * 1'000'000 - stamp.mtimeNs > 1'000'000'000;
        std::vector<File> files;
        for (const QString& name : EventFilesIn(folder_)) {
            const auto known =
                std::find_if(files_.begin(), files_.end(), [&](const File& f) { return f.name == name; });
            files.push_back(known != files_.end() ? std::move(*known) : File{name, {}, {}});
        }
        changed = files.size() != files_.size();
        files_ = std::move(files);
    }
    bool appended = !changed;
    const std::size_t known = events_.size();
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const QString path = folder_ + u'/' + files_[i].name;
        if (const FileStamp stamp = StampOf(path);
            stamp != files_[i].stamp || !files_[i].read.problem.isEmpty()) {
            appended = Read(files_[i], appended && i + 1 == files_.size()) && appended;
            files_[i].stamp = stamp;
            changed = true;
        }
    }
    if (changed && appended) {
        events_.insert(events_.end(), files_.back().read.events.begin() + qsizetype(known - Offset()),
                       files_.back().read.events.end());
        ExtendTimeline(timeline_, fold_, events_, known, zone_);
    } else if (changed) {
        Gather();
    }
    return changed;
}

bool EventSource::Read(File& file, bool last) {
    const QString path = folder_ + u'/' + file.name;
    const FileStamp stamp = StampOf(path);
    // The logger and acknowledgements only append: a file that grew in place
    // is read from its first record not yet whole.
    if (last && file.stamp.exists && stamp.inode == file.stamp.inode && stamp.size > file.stamp.size &&
        file.read.problem.isEmpty()) {
        EventFileRead more = ReadEventFile(path, LinkPolicy::Refuse, file.whole);
        if (more.problem.isEmpty() && !more.missing) {
            file.read.events.insert(file.read.events.end(), more.events.begin(), more.events.end());
            file.read.skipped = file.skippedWhole + more.skipped;
            file.whole += more.bytes / EventRecordLength;
            file.skippedWhole = file.read.skipped - (more.bytes % EventRecordLength != 0 ? 1 : 0);
            return true;
        }
    }
    file.read = ReadEventFile(path);
    file.whole = file.read.bytes / EventRecordLength;
    file.skippedWhole = file.read.skipped - (file.read.bytes % EventRecordLength != 0 ? 1 : 0);
    return false;
}

std::size_t EventSource::Offset() const {
    std::size_t before = 0;
    for (std::size_t i = 0; i + 1 < files_.size(); ++i)
        before += files_[i].read.events.size();
    return before;
}

void EventSource::Gather() {
    events_.clear();
    for (const File& file : files_)
        events_.insert(events_.end(), file.read.events.begin(), file.read.events.end());
    fold_ = {};
    timeline_ = {};
    ExtendTimeline(timeline_, fold_, events_, 0, zone_);
}

int EventSource::Skipped() const {
    int skipped = 0;
    for (const File& file : files_)
        skipped += file.read.skipped;
    return skipped;
}

QStringList EventSource::Problems() const {
    QStringList problems;
    for (const File& file : files_)
        if (!file.read.problem.isEmpty())
            problems += file.read.problem;
    return problems;
}

FileOutcome EventSource::Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& user,
                                     const QString& comment, const QDateTime& now) {
    FileOutcome outcome = AppendEvents(folder_ + u'/' + EventFileName(DateStamp(now.date())),
                                       Acknowledgements(alarms, user, comment, now));
    FollowStep();
    if (!outcome)
        outcome.message = QStringLiteral("Not acknowledged: ") + outcome.message +
                          (::access(QFile::encodeName(folder_).constData(), W_OK) != 0
                               ? QStringLiteral("; only those who may write the data folder can acknowledge")
                               : QString());
    return outcome;
}

} // namespace tarvek
