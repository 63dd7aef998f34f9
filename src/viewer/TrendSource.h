#pragma once

#include "viewer/Limits.h"
#include "viewer/Trend.h"

#include <QStringList>

#include <array>
#include <memory>

namespace tarvek {

// A channel's name and unit as the chart, the statistics and the CSV header
// show them, and its alarm limits. `unitSet`: the set-up names the unit
// (else it shows as "Bar", the unit every data record carries).
struct ChannelInfo {
    QString name;
    QString unit;
    bool unitSet = false;
    ChannelLimits limits;
    QString Heading() const { return name + QStringLiteral(" [") + unit + u']'; }
};
using ChannelInfos = std::array<ChannelInfo, Declarations::ChannelCount>;

// Description (positions 6..27), unit (31..34) and alarm limits (58..66,
// 68..76) of channels 1..8 from the channel parameters file in
// `settingFolder`, read-only; "Ch.n" and "Bar" where the file or the field is
// missing or blank, no limits where they are. Limits that cannot be used are
// named in `problems`.
ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems);
// The units as the chart groups them: empty where the set-up names none.
std::vector<QString> GroupingUnits(const ChannelInfos& channels);

// The data files the viewer reads and follows, and the trend they make.
//
// A folder stands for its month files ("mm-yyyy-Data.txt"), in calendar
// order; named files are read in calendar order when their names are month
// names, else in the order given. Channel names come from the settingfiles
// folder beside the first folder (or beside the folder of the first file).
class TrendSource {
  public:
    explicit TrendSource(QTimeZone zone = QTimeZone::systemTimeZone());
    ~TrendSource();

    // Replaces what was open by the data of `paths`. False when a path, or a
    // file in a folder, cannot be read: Errors() names each one, and the
    // trend holds the files that could be read.
    bool Open(const QStringList& paths);

    enum class Change { None, Appended, Reloaded };
    // The follow mode's step: reads the records the newest file gained since
    // the last read (only those), and a newer month's file once it appears in
    // a folder that was opened. Reloaded: the newest file was replaced or cut
    // and its records were read again.
    Change Poll();

    const Trend& Data() const { return trend_; }
    const ChannelInfos& Channels() const { return channels_; }
    const QStringList& Errors() const { return errors_; }
    // The channels' limits that cannot be used, from the last Open().
    const QStringList& LimitProblems() const { return limitProblems_; }
    QStringList Files() const;
    // Records left out, over all files.
    ReadTally Tally() const;

  private:
    struct File;
    bool Add(const QString& path);

    QTimeZone zone_;
    Trend trend_;
    ChannelInfos channels_;
    QStringList folders_;
    QStringList errors_;
    QStringList limitProblems_;
    std::vector<std::unique_ptr<File>> files_;
};

} // namespace tarvek
