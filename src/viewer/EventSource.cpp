#include "viewer/EventSource.h"

#include "common/TextHelpers.h"
#include "data/MonthFiles.h"

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
        std::vector<LoggedEvent>& more = files_.back().read.events;
        events_.insert(events_.end(), std::make_move_iterator(more.begin()),
                       std::make_move_iterator(more.end()));
        files_.back().count += more.size();
        more.clear();
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
            file.read.events = std::move(more.events);
            file.read.skipped = file.skippedWhole + more.skipped;
            file.whole += more.bytes / EventRecordLength;
            file.skippedWhole = file.read.skipped - (more.bytes % EventRecordLength != 0 ? 1 : 0);
            return true;
        }
    }
    file.read = ReadEventFile(path);
    file.fresh = true;
    file.whole = file.read.bytes / EventRecordLength;
    file.skippedWhole = file.read.skipped - (file.read.bytes % EventRecordLength != 0 ? 1 : 0);
    return false;
}

void EventSource::Gather() {
    std::size_t total = 0;
    for (const File& file : files_)
        total += file.fresh ? file.read.events.size() : file.count;
    // Room to grow: a follow step that moved a month of events to a larger
    // array would cost far more than the one event it appends.
    std::vector<LoggedEvent> events;
    if (std::all_of(files_.begin(), files_.end(), [](const File& f) { return f.fresh; })) {
        events = std::move(events_); // nothing of it is kept: its room is
        events.clear();
    }
    events.reserve(total + total / 2 + 1024);
    for (File& file : files_) {
        const auto from = file.fresh ? file.read.events.begin() : events_.begin() + qsizetype(file.first);
        const std::size_t count = file.fresh ? file.read.events.size() : file.count;
        file.first = events.size();
        file.count = count;
        events.insert(events.end(), std::make_move_iterator(from),
                      std::make_move_iterator(from + qsizetype(count)));
        file.read.events.clear();
        file.fresh = false;
    }
    events_ = std::move(events);
    fold_ = {};
    timeline_ = {};
    ExtendTimeline(timeline_, fold_, events_, 0, zone_);
}

QStringList EventSource::Paths() const {
    QStringList paths;
    if (!folder_.isEmpty())
        paths += folder_;
    for (const File& file : files_)
        paths += folder_ + u'/' + file.name;
    return paths;
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
