#include "viewer/TableText.h"

namespace tarvek {

namespace {

QString ValueText(const Trend& trend, int channel, qint64 i) {
    return QString::fromLatin1(trend.Value(channel, i).Text());
}

} // namespace

QString TableTime(const Trend& trend, qint64 record) {
    return ShownTime(trend.LocalMs(record));
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
            info.limits.below ? QString::number(outside.below) : QString(),
            info.limits.above ? QString::number(outside.above) : QString()};
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

std::vector<QStringList> PeriodRows(const Trend& trend, const ChannelInfos& channels,
                                    const std::vector<LimitPeriod>& periods) {
    std::vector<QStringList> rows;
    for (const LimitPeriod& p : periods)
        rows.push_back(PeriodRow(trend, channels, p));
    return rows;
}

void PeriodsModel::Show(const Trend* trend, const ChannelInfos* channels, std::vector<LimitPeriod> periods) {
    beginResetModel();
    trend_ = trend;
    channels_ = channels;
    periods_ = std::move(periods);
    endResetModel();
}

int LazyTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Rows());
}

int LazyTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Headings().size());
}

QVariant LazyTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || std::size_t(index.row()) >= Rows())
        return {};
    if (role == Qt::TextAlignmentRole && RightAlignedFrom() >= 0 && index.column() >= RightAlignedFrom())
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    return Row(std::size_t(index.row())).value(index.column());
}

QVariant LazyTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return Headings().value(section);
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

} // namespace tarvek
