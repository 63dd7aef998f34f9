#pragma once

#include "viewer/Channels.h"
#include "viewer/Limits.h"
#include "viewer/Statistics.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace tarvek {

// The viewer's tables as text, for the window, the PDF and the CSV alike.

// Times as the tables show them ("2025-03-05 10:01:30").
QString TableTime(const Trend& trend, qint64 record);

// The statistics of one channel: name, count, gaps, minimum and its time,
// maximum and its time, mean, then the records below the minimum and above
// the maximum (blank where the channel has no such limit).
QStringList StatisticsHeadings();
QStringList StatisticsRow(const Trend& trend, int channel, const ChannelInfo& info,
                          const ChannelStatistics& s, const OutsideCounts& outside);

// The statistics rows of the `shown` channels over `span`, with the records
// outside among `periods`.
std::vector<QStringList> StatisticsRows(const Trend& trend, const ChannelInfos& channels,
                                        const std::vector<int>& shown, const TimeSpan& span,
                                        const std::vector<LimitPeriod>& periods);

// A period outside the limits: channel, from, to, "below" or "above", the
// extreme value and its time, the number of records.
QStringList PeriodHeadings();
QStringList PeriodRow(const Trend& trend, const ChannelInfos& channels, const LimitPeriod& p);
std::vector<QStringList> PeriodRows(const Trend& trend, const ChannelInfos& channels,
                                    const std::vector<LimitPeriod>& periods);

// A table of text whose cells are made only as they are shown: a month or a
// year can give a hundred thousand rows.
class LazyTableModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  protected:
    virtual std::size_t Rows() const = 0;
    virtual QStringList Headings() const = 0;
    virtual QStringList Row(std::size_t row) const = 0;
    // The columns from this one on align right (numbers); none when negative.
    virtual int RightAlignedFrom() const { return -1; }
};

// The periods as a table model; the trend and channels stay the caller's.
class PeriodsModel : public LazyTableModel {
  public:
    using LazyTableModel::LazyTableModel;
    void Show(const Trend* trend, const ChannelInfos* channels, std::vector<LimitPeriod> periods);

  private:
    std::size_t Rows() const override { return periods_.size(); }
    QStringList Headings() const override { return PeriodHeadings(); }
    QStringList Row(std::size_t row) const override { return PeriodRow(*trend_, *channels_, periods_[row]); }
    int RightAlignedFrom() const override { return 1; }

    const Trend* trend_ = nullptr;
    const ChannelInfos* channels_ = nullptr;
    std::vector<LimitPeriod> periods_;
};

// The periods of the shown channels over `span`, channel by channel.
std::vector<LimitPeriod> PeriodsOf(const Trend& trend, const ChannelInfos& channels,
                                   const std::vector<int>& shown, const TimeSpan& span);

} // namespace tarvek
