#pragma once

#include "config/ChannelSettings.h"
#include "viewer/Limits.h"
#include "viewer/Trend.h"

#include <QStringList>

#include <array>
#include <memory>

namespace tarvek {

// A channel as the chart, the statistics and the CSV header show it: its
// set-up, and the alarm limits drawn.
using ChannelInfo = ChannelSettings;
using ChannelInfos = std::array<ChannelInfo, ChannelCount>;

// The channels of `settingFolder`'s channel parameters file
// (ReadChannelSettings; a link there is refused). Unusable limits go to
// `problems`, a file that cannot be read (other than a missing one) to
// `openProblem`.
ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems,
                              QString* openProblem = nullptr);
// The units as the chart groups them: empty where the set-up names none.
std::vector<QString> GroupingUnits(const ChannelInfos& channels);

// The data folder of what the viewer opens: the first path's folder (itself
// when it is one); the set-up and the event logs are found by it.
QString DataFolderOf(const QStringList& paths);

// The files, in calendar order, the viewer holds within a limit of `limit`
// records: the newest whose records (by their files' sizes, the header
// aside) fit. The oldest files left out, and their records.
struct RecordLimitChoice {
    qsizetype leftOutFiles = 0;
    qint64 keptRecords = 0, leftOutRecords = 0;
};
RecordLimitChoice NewestWithin(const std::vector<qint64>& sizes, qint64 limit);

// The data files the viewer reads and follows, and the trend they make.
// Folders and month-named files are read in calendar order; channel names come
// from the settingfiles folder beside the first. Beyond `recordLimit` records
// the newest files win and the problems name those left out.
class TrendSource {
  public:
    static constexpr qint64 DefaultRecordLimit = 20'000'000;
    explicit TrendSource(QTimeZone zone = QTimeZone::systemTimeZone(),
                         qint64 recordLimit = DefaultRecordLimit);
    ~TrendSource();

    // Replaces what was open by the data of `paths`. False when a path, or a
    // file in a folder, cannot be read, or files were left out: Errors()
    // names each, and the trend holds the files that could be read.
    bool Open(const QStringList& paths);

    enum class Change { None, Appended, Reloaded };
    // The follow mode's step: every open file whose size, modification time
    // or inode changed is read again (the last one only for the records it
    // gained), and a month file new in an opened folder is added in its
    // place; a folder is listed only when its modification time changed.
    // Reloaded: records already shown were read again. A file that cannot
    // be read is named in Errors() until it can.
    Change FollowStep();

    const Trend& Data() const { return trend_; }
    const ChannelInfos& Channels() const { return channels_; }
    QStringList Errors() const;
    // Files whose header's count disagrees with their records (all of which
    // are read), one text each.
    QStringList CountNotes() const;
    // The channels' limits that cannot be used, from the last Open().
    const QStringList& LimitProblems() const { return limitProblems_; }
    QStringList Files() const;
    // Records left out, over all files.
    ReadTally Tally() const;

  private:
    struct File;
    struct Folder;
    void Add(const QString& path);
    void ReadAgainFrom(std::size_t index, const QStringList& added);

    QTimeZone zone_;
    qint64 recordLimit_;
    Trend trend_;
    ChannelInfos channels_;
    std::vector<Folder> folders_;
    QStringList problems_; // found when opening
    QStringList limitProblems_;
    std::vector<std::unique_ptr<File>> files_;
};

} // namespace tarvek
