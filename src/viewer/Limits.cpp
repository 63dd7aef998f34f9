#include "viewer/Limits.h"

namespace tarvek {

namespace {

void NameUnreadable(const LimitField& limit, const QString& what, const QString& channel,
                    QStringList& problems) {
    if (limit.kind == LimitField::Kind::Unreadable)
        problems += QStringLiteral("%1: the alarm %2 \"%3\" is not a number; it is not drawn")
                        .arg(channel, what, limit.text);
}

} // namespace

QStringList LimitProblems(const ChannelSettings& channel) {
    QStringList problems;
    NameUnreadable(channel.minimum, QStringLiteral("minimum"), channel.Heading(), problems);
    NameUnreadable(channel.maximum, QStringLiteral("maximum"), channel.Heading(), problems);
    if (!channel.limits.unusable.isEmpty())
        problems += channel.limits.unusable;
    return problems;
}

std::vector<LimitPeriod> FindPeriods(const Trend& trend, int channel, const ChannelLimits& limits,
                                     const TimeSpan& span) {
    std::vector<LimitPeriod> periods;
    if (!limits.Any())
        return periods;
    const auto [first, last] = trend.IndexRange(span);
    // With rising times every record of [first, last) is in the span, and a
    // whole block whose extremes lie inside ends any period and holds none
    // (its gaps end periods too; a block of gaps only reads as zeros).
    const bool blocks = trend.TimesNeverFall(span.base);
    constexpr qint64 B = Trend::BlockSize;
    bool open = false;
    double extreme = 0;
    for (qint64 i = first; i < last; ++i) {
        if (blocks && i % B == 0 && i + B <= last && i / B < trend.BlockCount()) {
            const Trend::Block& block = trend.BlockOf(channel, i / B);
            if (!limits.Below(trend.Value(channel, i + block.low).Value()) &&
                !limits.Above(trend.Value(channel, i + block.high).Value())) {
                i += B - 1;
                open = false;
                continue;
            }
        }
        const StoredValue v = trend.Value(channel, i);
        if (v.IsGap() || (!blocks && !trend.Contains(i, span))) {
            open = false;
            continue;
        }
        const double x = v.Value();
        const bool above = limits.Above(x);
        if (!above && !limits.Below(x)) {
            open = false;
            continue;
        }
        if (open && periods.back().above == above) {
            LimitPeriod& p = periods.back();
            p.last = i;
            ++p.count;
            if (above ? x > extreme : x < extreme)
                p.extreme = i, extreme = x;
            continue;
        }
        periods.push_back({channel, above, i, i, i, 1});
        extreme = x;
        open = true;
    }
    return periods;
}

std::vector<std::pair<double, double>> ShadeBands(const std::vector<LimitPeriod>& periods, int channel,
                                                  bool above, const std::function<double(qint64)>& xOf) {
    std::vector<std::pair<double, double>> bands;
    double from = 0, to = -1e9;
    for (const LimitPeriod& period : periods) {
        if (period.channel != channel || period.above != above)
            continue;
        const double x1 = xOf(period.first) - 1;
        const double x2 = std::max(xOf(period.last) + 1, x1 + 2);
        if (x1 > to + 1) {
            if (to >= from)
                bands.emplace_back(from, to);
            from = x1;
        }
        to = std::max(to, x2);
    }
    if (to >= from)
        bands.emplace_back(from, to);
    return bands;
}

OutsideCounts CountOutside(const std::vector<LimitPeriod>& periods, int channel) {
    OutsideCounts counts;
    for (const LimitPeriod& p : periods)
        if (p.channel == channel)
            (p.above ? counts.above : counts.below) += p.count;
    return counts;
}

} // namespace tarvek
