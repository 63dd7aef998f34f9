#include "viewer/TrendSource.h"

#include "config/SettingRecords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace tarvek {

namespace {

// Year * 12 + month of a month file's name, or -1 for any other name.
int MonthKey(const QString& path) {
    static const QRegularExpression name(QStringLiteral("^(\\d\\d)-(\\d{4})-Data\\.txt$"));
    const QRegularExpressionMatch m = name.match(QFileInfo(path).fileName());
    if (!m.hasMatch())
        return -1;
    const int month = m.captured(1).toInt();
    return month >= 1 && month <= 12 ? m.captured(2).toInt() * 12 + month - 1 : -1;
}

QString NoDataFilesText(const QString& folder) {
    return QStringLiteral("%1: holds no data files (mm-yyyy-Data.txt)").arg(QDir::toNativeSeparators(folder));
}

QStringList MonthFiles(const QString& folder) {
    QStringList files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Readable))
        if (MonthKey(info.fileName()) >= 0)
            files += info.filePath();
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return MonthKey(a) < MonthKey(b); });
    return files;
}

} // namespace

ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems) {
    ChannelInfos infos;
    QFile file(settingFolder + u'/' + ChannelParametersFile);
    const bool open = file.open(QIODevice::ReadOnly);
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        QString record;
        if (open && file.seek(qint64(c + ChannelRecordOffset - 1) * SettingRecordLength))
            record = QString::fromLatin1(file.read(SettingRecordLength));
        const QString name = ChannelFieldOf(record, Declarations::Description);
        const QString unit = ChannelFieldOf(record, Declarations::Unit);
        ChannelInfo& info = infos[c - 1];
        info = {name.isEmpty() ? QStringLiteral("Ch.%1").arg(c) : name,
                unit.isEmpty() ? QStringLiteral("Bar") : unit,
                !unit.isEmpty(),
                {}};
        info.limits = ParseLimits(ChannelFieldOf(record, Declarations::AlarmMin),
                                  ChannelFieldOf(record, Declarations::AlarmMax), info.Heading(), problems);
    }
    return infos;
}

std::vector<QString> GroupingUnits(const ChannelInfos& channels) {
    std::vector<QString> units;
    for (const ChannelInfo& info : channels)
        units.push_back(info.unitSet ? info.unit : QString());
    return units;
}

struct TrendSource::File {
    DataFileCursor cursor;
    qint64 first = 0; // index of its first record in the trend
};

TrendSource::TrendSource(QTimeZone zone) : zone_(zone), trend_(std::move(zone)) {
    channels_ = ReadChannelInfos({}, &limitProblems_);
}

TrendSource::~TrendSource() = default;

bool TrendSource::Add(const QString& path) {
    auto file = std::make_unique<File>(File{DataFileCursor(path), trend_.Size()});
    std::vector<StoredRecord> records;
    if (file->cursor.ReadNew(records) == DataFileCursor::Outcome::Failed) {
        errors_ += file->cursor.Error();
        return false;
    }
    trend_.Append(records);
    files_.push_back(std::move(file));
    return true;
}

bool TrendSource::Open(const QStringList& paths) {
    trend_ = Trend(zone_);
    files_.clear();
    folders_.clear();
    errors_.clear();
    QStringList files;
    bool allMonthNames = true;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            if (!info.isReadable() || !info.isExecutable())
                errors_ += QStringLiteral("%1: cannot read the folder").arg(QDir::toNativeSeparators(path));
            else if (const QStringList month = MonthFiles(path); month.isEmpty())
                errors_ += NoDataFilesText(path);
            else
                files += month;
            folders_ += path;
        } else {
            files += path;
            allMonthNames = allMonthNames && MonthKey(path) >= 0;
        }
    }
    if (allMonthNames)
        std::stable_sort(files.begin(), files.end(),
                         [](const QString& a, const QString& b) { return MonthKey(a) < MonthKey(b); });
    files.removeDuplicates();
    for (const QString& file : files)
        Add(file);
    limitProblems_.clear();
    if (!paths.isEmpty()) {
        const QFileInfo first(paths.first());
        channels_ = ReadChannelInfos((first.isDir() ? first.absoluteFilePath() : first.absolutePath()) +
                                         QStringLiteral("/../") + SettingFolderName,
                                     &limitProblems_);
    }
    return errors_.isEmpty();
}

TrendSource::Change TrendSource::Poll() {
    Change change = Change::None;
    if (!files_.empty()) {
        File& last = *files_.back();
        std::vector<StoredRecord> records;
        switch (last.cursor.ReadNew(records)) {
        case DataFileCursor::Outcome::Restarted:
            trend_.Truncate(last.first);
            change = Change::Reloaded;
            break;
        case DataFileCursor::Outcome::Failed:
            return change;
        case DataFileCursor::Outcome::Ok:
            if (!records.empty())
                change = Change::Appended;
            break;
        }
        trend_.Append(records);
    }
    // A new month's file: read from its start, then followed as the newest.
    int newest = -1;
    for (const auto& file : files_)
        newest = std::max(newest, MonthKey(file->cursor.Path()));
    for (const QString& folder : folders_)
        for (const QString& file : MonthFiles(folder))
            if (MonthKey(file) > newest && Add(file)) {
                newest = MonthKey(file);
                errors_.removeAll(NoDataFilesText(folder));
                change = change == Change::None ? Change::Appended : change;
            }
    return change;
}

QStringList TrendSource::Files() const {
    QStringList paths;
    for (const auto& file : files_)
        paths += file->cursor.Path();
    return paths;
}

ReadTally TrendSource::Tally() const {
    ReadTally sum;
    for (const auto& file : files_) {
        const ReadTally& t = file->cursor.Tally();
        sum.blank += t.blank;
        sum.notData += t.notData;
        sum.uncounted += t.uncounted;
        sum.torn += t.torn;
    }
    return sum;
}

} // namespace tarvek
