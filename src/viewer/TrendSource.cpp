#include "viewer/TrendSource.h"

#include "common/Folders.h"
#include "data/MonthFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace tarvek {

namespace {

QString NoDataFilesText(const QString& folder) {
    return QStringLiteral("%1: holds no data files (mm-yyyy-Data.txt)").arg(QDir::toNativeSeparators(folder));
}

QStringList MonthFiles(const QString& folder) {
    QStringList files;
    for (const QString& name : ListMonthFiles(folder))
        files += folder + u'/' + name;
    return files;
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

ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems, QString* openProblem) {
    const ChannelSetUp setUp = ReadChannelSettings(settingFolder, LinkPolicy::Refuse);
    if (!setUp.Read() && setUp.errorNumber != ENOENT && openProblem)
        *openProblem = setUp.problem;
    for (const ChannelSettings& settings : setUp.channels)
        *problems += LimitProblems(settings);
    return setUp.channels;
}

std::vector<QString> GroupingUnits(const ChannelInfos& channels) {
    std::vector<QString> units;
    for (const ChannelInfo& info : channels)
        units.push_back(info.unitSet ? info.unit : QString());
    return units;
}

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

struct TrendSource::File {
    DataFileCursor cursor;
    qint64 first = 0; // index of its first record in the trend
    int key = -1;     // MonthKey of its name
};

struct TrendSource::Folder {
    QString path;
    FileStamp stamp;      // as of its last listing
    bool trusted = false; // the stamp is old enough to tell every change since
};

TrendSource::TrendSource(QTimeZone zone, qint64 recordLimit)
    : zone_(zone), recordLimit_(recordLimit), trend_(std::move(zone)) {
    channels_ = ReadChannelInfos({}, &limitProblems_);
}

TrendSource::~TrendSource() = default;

void TrendSource::Add(const QString& path) {
    auto file = std::make_unique<File>(File{DataFileCursor(path), trend_.Size(), MonthKey(path)});
    std::vector<StoredRecord> records;
    if (file->cursor.ReadNew(records) != DataFileCursor::Outcome::Failed)
        trend_.Append(records);
    files_.push_back(std::move(file));
}

bool TrendSource::Open(const QStringList& paths) {
    trend_ = Trend(zone_);
    files_.clear();
    folders_.clear();
    problems_.clear();
    QStringList files;
    bool allMonthNames = true;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            // The stamp before the listing: a file added meanwhile changes it.
            Folder folder{path, StampOf(path)};
            if (!info.isReadable() || !info.isExecutable())
                problems_ += QStringLiteral("%1: cannot read the folder").arg(QDir::toNativeSeparators(path));
            else if (const QStringList month = MonthFiles(path); month.isEmpty())
                problems_ += NoDataFilesText(path);
            else
                files += month;
            folders_.push_back(folder);
        } else {
            files += path;
            allMonthNames = allMonthNames && MonthKey(path) >= 0;
        }
    }
    if (allMonthNames)
        std::stable_sort(files.begin(), files.end(),
                         [](const QString& a, const QString& b) { return MonthKey(a) < MonthKey(b); });
    files.removeDuplicates();

    std::vector<qint64> sizes;
    for (const QString& file : files)
        sizes.push_back(StampOf(file).size);
    const RecordLimitChoice choice = NewestWithin(sizes, recordLimit_);
    if (choice.leftOutFiles > 0)
        problems_ += LeftOutText(files.mid(0, choice.leftOutFiles), choice.leftOutRecords, recordLimit_);

    trend_.Reserve(choice.keptRecords);
    for (const QString& file : files.mid(choice.leftOutFiles))
        Add(file);
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

void TrendSource::ReadAgainFrom(std::size_t index, const QStringList& added) {
    QStringList paths = added;
    for (std::size_t i = index; i < files_.size(); ++i)
        paths += files_[i]->cursor.Path();
    if (!added.isEmpty())
        std::stable_sort(paths.begin(), paths.end(),
                         [](const QString& a, const QString& b) { return MonthKey(a) < MonthKey(b); });
    trend_.Truncate(index < files_.size() ? files_[index]->first : trend_.Size());
    files_.resize(index);
    for (const QString& path : paths)
        Add(path);
}

TrendSource::Change TrendSource::FollowStep() {
    // Month files new in a folder; the folder's stamp first, so that an
    // unchanged folder of any size costs one stat.
    QStringList added;
    const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1'000'000;
    for (Folder& folder : folders_) {
        const FileStamp stamp = StampOf(folder.path);
        if (folder.trusted && stamp == folder.stamp)
            continue;
        // A change within the same tick of the file system's clock would
        // leave the stamp as it is: a stamp that recent is checked again.
        folder.stamp = stamp;
        folder.trusted = nowNs - stamp.mtimeNs > 1'000'000'000;
        for (const QString& path : MonthFiles(folder.path)) {
            const bool open = std::any_of(files_.begin(), files_.end(),
                                          [&](const auto& f) { return f->cursor.Path() == path; });
            if (!open && !added.contains(path)) {
                added += path;
                problems_.removeAll(NoDataFilesText(folder.path));
            }
        }
    }
    // Where the trend must be read again from: the first file that changed
    // other than the last, or the place of an added file before the last.
    std::size_t from = files_.size();
    for (const QString& path : added) {
        const int key = MonthKey(path);
        const auto after =
            std::find_if(files_.begin(), files_.end(), [&](const auto& f) { return f->key > key; });
        from = std::min(from, std::size_t(after - files_.begin()));
    }
    bool lastChanged = false;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (StampOf(files_[i]->cursor.Path()) == files_[i]->cursor.Stamp())
            continue;
        if (i + 1 < files_.size())
            from = std::min(from, i);
        else
            lastChanged = true;
    }

    Change change = Change::None;
    if (from < files_.size()) {
        ReadAgainFrom(from, added);
        return Change::Reloaded;
    }
    if (lastChanged) {
        File& last = *files_.back();
        std::vector<StoredRecord> records;
        switch (last.cursor.ReadNew(records)) {
        case DataFileCursor::Outcome::Restarted:
            trend_.Truncate(last.first);
            change = Change::Reloaded;
            break;
        case DataFileCursor::Outcome::Failed:
            break;
        case DataFileCursor::Outcome::Ok:
            if (!records.empty())
                change = Change::Appended;
            break;
        }
        trend_.Append(records);
    }
    for (const QString& path : added) {
        const qint64 before = trend_.Size();
        Add(path);
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
