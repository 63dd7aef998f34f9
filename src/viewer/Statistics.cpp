#include "viewer/Statistics.h"

#include <cstdlib>

namespace tarvek {

ChannelStatistics ComputeStatistics(const Trend& trend, int channel, const TimeSpan& span) {
    ChannelStatistics s;
    const auto [first, last] = trend.IndexRange(span);
    double sum = 0, low = 0, high = 0;
    for (qint64 i = first; i < last; ++i) {
        if (!trend.Contains(i, span))
            continue;
        const StoredValue v = trend.Value(channel, i);
        if (v.IsGap()) {
            ++s.gaps;
            continue;
        }
        const double x = v.Value();
        if (s.count == 0 || x < low)
            low = x, s.minimum = i;
        if (s.count == 0 || x > high)
            high = x, s.maximum = i;
        sum += x;
        ++s.count;
    }
    s.mean = s.count > 0 ? sum / double(s.count) : 0;
    return s;
}

qint64 NearestRecord(const Trend& trend, const TimeSpan& span, qint64 utcMs) {
    const auto [first, last] = trend.IndexRange(span);
    qint64 best = -1;
    for (qint64 i = first; i < last; ++i) {
        if (!trend.Contains(i, span))
            continue;
        if (best < 0 || std::abs(trend.UtcMs(i) - utcMs) < std::abs(trend.UtcMs(best) - utcMs))
            best = i;
        else if (trend.UtcMs(i) > utcMs && trend.UtcMs(best) <= utcMs)
            break; // times rise: nothing further is nearer
    }
    return best;
}

} // namespace tarvek
