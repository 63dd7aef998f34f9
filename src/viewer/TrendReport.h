#pragma once

#include "viewer/Limits.h"
#include "viewer/TrendMath.h"
#include "viewer/TrendSource.h"

#include <QAbstractTableModel>
#include <QRectF>
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

// The periods as a table model: a year of a noisy channel can hold a
// hundred thousand, so the cells are made only as they are shown.
class PeriodsModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    // The trend and channels stay the caller's.
    void Show(const Trend* trend, const ChannelInfos* channels, std::vector<LimitPeriod> periods);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const Trend* trend_ = nullptr;
    const ChannelInfos* channels_ = nullptr;
    std::vector<LimitPeriod> periods_;
};

// The periods of the shown channels over `span`, channel by channel.
std::vector<LimitPeriod> PeriodsOf(const Trend& trend, const ChannelInfos& channels,
                                   const std::vector<int>& shown, const TimeSpan& span);

// A table as the PDF prints it; `widths` the width each column needs.
struct PrintedTable {
    QString title;
    QStringList headings;
    std::vector<QStringList> rows;
    std::vector<double> widths;
};

// One thing on a PDF page: the chart, a table's title, its headings (row
// -1) or one of its rows, in `rect`; a line's cells start at `columns`.
struct PagePart {
    enum Kind { Chart, Title, Line } kind = Chart;
    int table = -1, row = -1;
    QRectF rect;
    std::vector<double> columns;
};

// The pages of the PDF: the chart across the first page's width (at most
// three fifths of its height, its shape kept), then each table line by line;
// a table goes on over as many pages as it needs, its headings repeated at
// the top of each. `line` is the height of a line of text.
std::vector<std::vector<PagePart>> LayOutPages(const QSizeF& page, const QSizeF& chart, double line,
                                               const std::vector<PrintedTable>& tables);

} // namespace tarvek
