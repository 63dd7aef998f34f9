#pragma once

#include "data/MonthFolder.h"
#include "viewer/Channels.h"
#include "viewer/Limits.h"
#include "viewer/Trend.h"

#include <QStringList>

#include <array>
#include <memory>
#include <optional>

namespace tarvek {

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
    // The follow mode's step: every open file that changed is read again
    // (the last one only for the records it gained, unless it was replaced),
    // and a month file new in an opened folder is added in its place; the
    // folders and files are followed by MonthFolderFollower. Reloaded:
    // records already shown were read again. A file that cannot be read is
    // named in Errors() until it can.
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
    struct Entry; // a file of a follower
    // Follows `paths` (folders and files), the files in the order read.
    std::vector<Entry> Follow(const QStringList& paths);
    void Add(const Entry& entry);
    // Each follower's step: the month files new in a folder, and how each
    // file read changed (none: not looked at).
    void LookAgain(std::vector<Entry>& added, std::vector<std::optional<MonthLook>>& looks);
    void ReadAgainFrom(std::size_t index, std::vector<Entry> added);

    QTimeZone zone_;
    qint64 recordLimit_;
    Trend trend_;
    ChannelInfos channels_;
    std::vector<std::unique_ptr<MonthFolderFollower>> followers_; // each folder, then the files given
    QStringList leftOut_;                                         // beyond the record limit
    QStringList problems_;                                        // found when opening
    QStringList limitProblems_;
    std::vector<std::unique_ptr<File>> files_;
};

} // namespace tarvek
