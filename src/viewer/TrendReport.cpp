#include "viewer/TrendReport.h"

#include <algorithm>

namespace tarvek {

namespace {

QString ValueText(const Trend& trend, int channel, qint64 i) {
    return QString::fromLatin1(trend.Value(channel, i).Text());
}

} // namespace

QString TableTime(const Trend& trend, qint64 record) {
    return QString::fromLatin1(StoredTimeText(trend.LocalMs(record))).replace(u'T', u' ');
}

QStringList StatisticsHeadings() {
    return {QStringLiteral("Channel"),      QStringLiteral("Count"), QStringLiteral("Gaps"),
            QStringLiteral("Minimum"),      QStringLiteral("at"),    QStringLiteral("Maximum"),
            QStringLiteral("at"),           QStringLiteral("Mean"),  QStringLiteral("Below minimum"),
            QStringLiteral("Above maximum")};
}

QStringList StatisticsRow(const Trend& trend, int channel, const ChannelInfo& info,
                          const ChannelStatistics& s, const OutsideCounts& outside) {
    const bool any = s.count > 0;
    return {info.Heading(),
            QString::number(s.count),
            QString::number(s.gaps),
            any ? ValueText(trend, channel, s.minimum) : QString(),
            any ? TableTime(trend, s.minimum) : QString(),
            any ? ValueText(trend, channel, s.maximum) : QString(),
            any ? TableTime(trend, s.maximum) : QString(),
            any ? QString::number(s.mean, 'f', 3) : QString(),
            info.limits.low ? QString::number(outside.below) : QString(),
            info.limits.high ? QString::number(outside.above) : QString()};
}

QStringList PeriodHeadings() {
    return {QStringLiteral("Channel"), QStringLiteral("From"),    QStringLiteral("To"),
            QStringLiteral("Outside"), QStringLiteral("Extreme"), QStringLiteral("at"),
            QStringLiteral("Records")};
}

std::vector<QStringList> StatisticsRows(const Trend& trend, const ChannelInfos& channels,
                                        const std::vector<int>& shown, const TimeSpan& span,
                                        const std::vector<LimitPeriod>& periods) {
    std::vector<QStringList> rows;
    for (const int k : shown)
        rows.push_back(StatisticsRow(trend, k, channels[k], ComputeStatistics(trend, k, span),
                                     CountOutside(periods, k)));
    return rows;
}

QStringList PeriodRow(const Trend& trend, const ChannelInfos& channels, const LimitPeriod& p) {
    return {channels[p.channel].Heading(),
            TableTime(trend, p.first),
            TableTime(trend, p.last),
            p.above ? QStringLiteral("above") : QStringLiteral("below"),
            ValueText(trend, p.channel, p.extreme),
            TableTime(trend, p.extreme),
            QString::number(p.count)};
}

void PeriodsModel::Show(const Trend* trend, const ChannelInfos* channels, std::vector<LimitPeriod> periods) {
    beginResetModel();
    trend_ = trend;
    channels_ = channels;
    periods_ = std::move(periods);
    endResetModel();
}

int PeriodsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(periods_.size());
}

int PeriodsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(PeriodHeadings().size());
}

QVariant PeriodsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    return PeriodRow(*trend_, *channels_, periods_[std::size_t(index.row())]).value(index.column());
}

QVariant PeriodsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return PeriodHeadings().value(section);
}

std::vector<LimitPeriod> PeriodsOf(const Trend& trend, const ChannelInfos& channels,
                                   const std::vector<int>& shown, const TimeSpan& span) {
    std::vector<LimitPeriod> periods;
    for (const int k : shown) {
        const std::vector<LimitPeriod> of = FindPeriods(trend, k, channels[k].limits, span);
        periods.insert(periods.end(), of.begin(), of.end());
    }
    return periods;
}

std::vector<std::vector<PagePart>> LayOutPages(const QSizeF& page, const QSizeF& chart, double line,
                                               const std::vector<PrintedTable>& tables) {
    std::vector<std::vector<PagePart>> pages(1);
    const double chartHeight =
        std::min(page.height() * 0.6, page.width() * chart.height() / std::max(1.0, chart.width()));
    const double chartWidth =
        std::min(page.width(), chartHeight * chart.width() / std::max(1.0, chart.height()));
    pages[0].push_back({PagePart::Chart, -1, -1, QRectF(0, 0, chartWidth, chartHeight), {}});
    double y = chartHeight + line;
    for (int t = 0; t < int(tables.size()); ++t) {
        const PrintedTable& table = tables[t];
        // Columns share out the width left over, each keeping what it needs.
        double needed = 0;
        for (const double w : table.widths)
            needed += w;
        const double gap =
            table.widths.empty() ? 0 : std::max(0.0, (page.width() - needed) / double(table.widths.size()));
        std::vector<double> columns;
        double x = 0;
        for (const double w : table.widths)
            columns.push_back(x), x += w + std::min(gap, line * 2);
        const auto place = [&](PagePart::Kind kind, int row) {
            pages.back().push_back({kind, t, row, QRectF(0, y, page.width(), line), columns});
            y += line;
        };
        if (y + 3 * line > page.height()) // a title and headings alone at a page's foot
            pages.emplace_back(), y = 0;
        place(PagePart::Title, -1);
        place(PagePart::Line, -1);
        for (int r = 0; r < int(table.rows.size()); ++r) {
            if (y + line > page.height()) {
                pages.emplace_back();
                y = 0;
                place(PagePart::Line, -1);
            }
            place(PagePart::Line, r);
        }
        y += line;
    }
    return pages;
}

} // namespace tarvek
