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
    for (File& file : files_) {
        const QString path = folder_ + u'/' + file.name;
        if (const FileStamp stamp = StampOf(path); stamp != file.stamp || !file.read.problem.isEmpty()) {
            file.stamp = stamp;
            file.read = ReadEventFile(path);
            changed = true;
        }
    }
    if (changed)
        Gather();
    return changed;
}

void EventSource::Gather() {
    events_.clear();
    for (const File& file : files_)
        events_.insert(events_.end(), file.read.events.begin(), file.read.events.end());
    fold_ = FoldEvents(events_);
    timeline_ = TimelineOf(events_, zone_);
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
