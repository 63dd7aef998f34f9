#include "viewer/TrendSource.h"

#include "common/Folders.h"
#include "data/MonthFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace tarvek {

namespace {

QString NoDataFilesText(const QString& folder) {
    return QStringLiteral("%1: holds no data files (mm-yyyy-Data.txt)").arg(QDir::toNativeSeparators(folder));
}

QString LeftOutText(const QStringList& files, qint64 records, qint64 limit) {
    return QStringLiteral("left out the oldest %1 files, %2 records (%3 to %4): more than %5 records are "
                          "not held at once")
        .arg(files.size())
        .arg(records)
        .arg(QDir::toNativeSeparators(files.first()), QDir::toNativeSeparators(files.last()))
        .arg(limit);
}

} // namespace

RecordLimitChoice NewestWithin(const std::vector<qint64>& sizes, qint64 limit) {
    const auto records = [&](qsizetype i) { return std::max<qint64>(sizes[i] / DataRecordLength - 1, 0); };
    RecordLimitChoice choice;
    choice.leftOutFiles = qsizetype(sizes.size());
    for (; choice.leftOutFiles > 0; --choice.leftOutFiles) {
        const qint64 n = records(choice.leftOutFiles - 1);
        if (choice.keptRecords + n > limit)
            break;
        choice.keptRecords += n;
    }
    for (qsizetype i = 0; i < choice.leftOutFiles; ++i)
        choice.leftOutRecords += records(i);
    return choice;
}

struct TrendSource::Entry {
    MonthFolderFollower* follower;
    QString name;
    qint64 size = 0; // at the first look
    QString Path() const { return follower->PathOf(name); }
};

struct TrendSource::File {
    DataFileCursor cursor;
    Entry entry;
    qint64 first = 0; // index of its first record in the trend
    int key = -1;     // MonthKey of its name
};

TrendSource::TrendSource(QTimeZone zone, qint64 recordLimit)
    : zone_(zone), recordLimit_(recordLimit), trend_(std::move(zone)) {
    channels_ = ReadChannelInfos({}, &limitProblems_);
}

TrendSource::~TrendSource() = default;

void TrendSource::Add(const Entry& entry) {
    const QString path = entry.Path();
    auto file = std::make_unique<File>(File{DataFileCursor(path), entry, trend_.Size(), MonthKey(path)});
    std::vector<StoredRecord> records;
    if (file->cursor.ReadNew(entry.follower->Open(entry.name), records) != DataFileCursor::Outcome::Failed)
        trend_.Append(records);
    files_.push_back(std::move(file));
}

std::vector<TrendSource::Entry> TrendSource::Follow(const QStringList& paths) {
    QStringList given;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            given += path;
            continue;
        }
        followers_.push_back(std::make_unique<MonthFolderFollower>(path));
        if (!info.isReadable() || !info.isExecutable())
            problems_ += QStringLiteral("%1: cannot read the folder").arg(QDir::toNativeSeparators(path));
    }
    // Files an operator names are read as named, links too.
    followers_.push_back(std::make_unique<MonthFolderFollower>(given, LinkPolicy::Follow));
    std::vector<Entry> entries;
    for (const auto& follower : followers_) {
        const std::vector<MonthLook> looks = follower->Step();
        const QFileInfo folder(follower->Folder());
        if (looks.empty() && !follower->Folder().isEmpty() && folder.isReadable() && folder.isExecutable())
            problems_ += NoDataFilesText(follower->Folder());
        for (const MonthLook& look : looks) {
            const Entry entry{follower.get(), look.name, look.now.size};
            if (std::none_of(entries.begin(), entries.end(),
                             [&](const Entry& e) { return e.Path() == entry.Path(); }))
                entries.push_back(entry);
        }
    }
    if (std::all_of(given.begin(), given.end(), [](const QString& p) { return MonthKey(p) >= 0; }))
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return MonthKey(a.Path()) < MonthKey(b.Path());
        });
    return entries;
}

bool TrendSource::Open(const QStringList& paths) {
    trend_ = Trend(zone_);
    files_.clear();
    followers_.clear();
    leftOut_.clear();
    problems_.clear();
    const std::vector<Entry> entries = Follow(paths);
    std::vector<qint64> sizes;
    for (const Entry& entry : entries)
        sizes.push_back(entry.size);
    const RecordLimitChoice choice = NewestWithin(sizes, recordLimit_);
    for (qsizetype i = 0; i < choice.leftOutFiles; ++i)
        leftOut_ += entries[std::size_t(i)].Path();
    if (choice.leftOutFiles > 0)
        problems_ += LeftOutText(leftOut_, choice.leftOutRecords, recordLimit_);

    trend_.Reserve(choice.keptRecords);
    for (std::size_t i = std::size_t(choice.leftOutFiles); i < entries.size(); ++i)
        Add(entries[i]);
    trend_.ShrinkToFit();
    limitProblems_.clear();
    if (!paths.isEmpty()) {
        QString problem;
        channels_ = ReadChannelInfos(SettingFolderBesideData(DataFolderOf(paths)), &limitProblems_, &problem);
        if (!problem.isEmpty())
            problems_ += problem;
    }
    return Errors().isEmpty();
}

QString DataFolderOf(const QStringList& paths) {
    if (paths.isEmpty())
        return {};
    const QFileInfo first(paths.first());
    return first.isDir() ? first.absoluteFilePath() : first.absolutePath();
}

void TrendSource::ReadAgainFrom(std::size_t index, std::vector<Entry> added) {
    const bool sort = !added.empty();
    for (std::size_t i = index; i < files_.size(); ++i)
        added.push_back(files_[i]->entry);
    if (sort)
        std::stable_sort(added.begin(), added.end(), [](const Entry& a, const Entry& b) {
            return MonthKey(a.Path()) < MonthKey(b.Path());
        });
    trend_.Truncate(index < files_.size() ? files_[index]->first : trend_.Size());
    files_.resize(index);
    for (const Entry& entry : added)
        Add(entry);
}

void TrendSource::LookAgain(std::vector<Entry>& added, std::vector<std::optional<MonthLook>>& looks) {
    for (const auto& follower : followers_) {
        for (MonthLook& look : follower->Step()) {
            const QString path = follower->PathOf(look.name);
            const auto open = std::find_if(files_.begin(), files_.end(), [&](const auto& f) {
                return f->entry.follower == follower.get() && f->entry.name == look.name;
            });
            if (open != files_.end()) {
                looks[std::size_t(open - files_.begin())] = std::move(look);
            } else if (look.change != FileChange::Removed && !leftOut_.contains(path) &&
                       std::none_of(files_.begin(), files_.end(),
                                    [&](const auto& f) { return f->cursor.Path() == path; })) {
                added.push_back({follower.get(), look.name});
                problems_.removeAll(NoDataFilesText(follower->Folder()));
            }
        }
    }
}

TrendSource::Change TrendSource::FollowStep() {
    // Month files new in a folder, and how each file read changed.
    std::vector<Entry> added;
    std::vector<std::optional<MonthLook>> looks(files_.size());
    LookAgain(added, looks);
    // Where the trend must be read again from: the first file that changed
    // other than the last, or the place of an added file before the last.
    std::size_t from = files_.size();
    for (const Entry& entry : added) {
        const int key = MonthKey(entry.Path());
        const auto after =
            std::find_if(files_.begin(), files_.end(), [&](const auto& f) { return f->key > key; });
        from = std::min(from, std::size_t(after - files_.begin()));
    }
    for (std::size_t i = 0; i + 1 < files_.size(); ++i)
        if (looks[i] && looks[i]->change != FileChange::None)
            from = std::min(from, i);
    if (from < files_.size()) {
        ReadAgainFrom(from, std::move(added));
        return Change::Reloaded;
    }
    Change change = Change::None;
    if (!files_.empty() && looks.back() && looks.back()->due) {
        File& last = *files_.back();
        // Another file under the name: nothing read from the one before holds.
        if (looks.back()->change == FileChange::Replaced) {
            last.cursor = DataFileCursor(last.cursor.Path());
            trend_.Truncate(last.first);
            change = Change::Reloaded;
        }
        std::vector<StoredRecord> records;
        switch (last.cursor.ReadNew(last.entry.follower->Open(last.entry.name), records)) {
        case DataFileCursor::Outcome::Restarted:
            trend_.Truncate(last.first);
            change = Change::Reloaded;
            break;
        case DataFileCursor::Outcome::Failed:
            break;
        case DataFileCursor::Outcome::Ok:
            if (!records.empty() && change == Change::None)
                change = Change::Appended;
            break;
        }
        trend_.Append(records);
    }
    for (const Entry& entry : added) {
        const qint64 before = trend_.Size();
        Add(entry);
        if (trend_.Size() > before && change == Change::None)
            change = Change::Appended;
    }
    return change;
}

QStringList TrendSource::Errors() const {
    QStringList errors = problems_;
    for (const auto& file : files_)
        if (!file->cursor.Error().isEmpty())
            errors += file->cursor.Error();
    return errors;
}

QStringList TrendSource::CountNotes() const {
    QStringList notes;
    for (const auto& file : files_)
        if (!file->cursor.CountNote().isEmpty())
            notes += file->cursor.CountNote();
    return notes;
}

QStringList TrendSource::Files() const {
    QStringList paths;
    for (const auto& file : files_)
        if (file->cursor.Error().isEmpty())
            paths += file->cursor.Path();
    return paths;
}
ReadTally TrendSource::Tally() const {
    ReadTally sum;
    for (const auto& file : files_)
        sum += file->cursor.Tally();
    return sum;
}

} // namespace tarvek
