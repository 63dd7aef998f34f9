#include "viewer/EventSource.h"

#include "common/TextHelpers.h"
#include "data/MonthFiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace tarvek {

namespace {

// What ReadEventFile gives, from an open file: its records from `fromRecord` + 1 on.
EventFileRead ReadEvents(const OpenedFile& file, const QString& path, qint64 fromRecord) {
    EventFileRead read;
    QString reason = file.Failure();
    const qint64 from = fromRecord * EventRecordLength;
    const std::optional<QByteArray> bytes =
        file ? file.Read(from, std::max<qint64>(file.Stamp().size - from, 0), &reason) : std::nullopt;
    read.missing = file.Error() == ENOENT;
    if (!bytes && !read.missing)
        read.problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
    static_cast<EventBytes&>(read) = ParseEventBytes(bytes.value_or(QByteArray()), fromRecord + 1);
    read.bytes = bytes ? bytes->size() : 0;
    return read;
}

} // namespace

void EventSource::Open(const QString& folder) {
    folder_ = folder;
    follower_ = MonthFolderFollower(folder, MonthFileKind::Events);
    files_.clear();
    if (!FollowStep())
        Gather();
}

bool EventSource::FollowStep() {
    if (folder_.isEmpty())
        return false;
    bool changed = false;
    std::vector<File> files;
    std::vector<MonthLook> looks;
    for (MonthLook& look : follower_.Step()) {
        if (look.change == FileChange::Removed) {
            changed = true;
            continue;
        }
        const auto known =
            std::find_if(files_.begin(), files_.end(), [&](const File& f) { return f.name == look.name; });
        changed = changed || known == files_.end();
        files.push_back(known != files_.end() ? std::move(*known) : File{look.name, {}});
        looks.push_back(std::move(look));
    }
    files_ = std::move(files);
    bool appended = !changed;
    const std::size_t known = events_.size();
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const bool last = i + 1 == files_.size();
        // Only the last log is looked at again for a change within its tick.
        if (looks[i].change != FileChange::None || !files_[i].read.problem.isEmpty() ||
            (last && looks[i].due)) {
            bool read = false;
            appended = Read(files_[i], looks[i], appended && last, &read) && appended;
            changed = changed || read;
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

bool EventSource::Read(File& file, const MonthLook& look, bool last, bool* read) {
    const QString path = follower_.PathOf(file.name);
    const OpenedFile opened = follower_.Open(file.name);
    // The logger and acknowledgements only append: a file that grew in place
    // is read from its first record not yet whole.
    if (last && (look.change == FileChange::Grew || look.change == FileChange::None) &&
        file.read.problem.isEmpty() && opened && opened.Stamp().SameFile(look.before)) {
        EventFileRead more = ReadEvents(opened, path, file.whole);
        if (more.problem.isEmpty()) {
            *read = more.bytes > 0;
            file.read.events = std::move(more.events);
            file.read.skipped = file.skippedWhole + more.skipped;
            file.whole += more.bytes / EventRecordLength;
            file.skippedWhole = file.read.skipped - (more.bytes % EventRecordLength != 0 ? 1 : 0);
            return true;
        }
    }
    *read = true;
    file.read = ReadEvents(opened, path, 0);
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
