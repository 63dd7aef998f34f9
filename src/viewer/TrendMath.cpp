#include "viewer/TrendMath.h"

#include <algorithm>

namespace {

// The values of one pixel column since its start or its first gap.
struct Bucket {
    qint64 low = -1, high = -1; // record indices
    double lowValue = 0, highValue = 0;
    bool breakBefore = false;

    bool Empty() const { return low < 0; }
    void Add(qint64 i, double v) {
        if (Empty() || v < lowValue)
            low = i, lowValue = v;
        if (high < 0 || v > highValue)
            high = i, highValue = v;
    }
};

} // namespace

Trace Decimate(const Trend& trend, int channel, const TimeSpan& span, int columns) {
    Trace trace;
    const auto [first, last] = trend.IndexRange(span);
    const double width = double(std::max<qint64>(span.to - span.from, 1));
    columns = std::max(columns, 1);

    Bucket bucket;
    const auto flush = [&] {
        if (bucket.Empty())
            return;
        if (bucket.breakBefore || trace.points.empty())
            trace.starts.push_back(int(trace.points.size()));
        const qint64 a = std::min(bucket.low, bucket.high), b = std::max(bucket.low, bucket.high);
        trace.points.emplace_back(double(trend.UtcMs(a)), trend.Value(channel, a).Value());
        if (b != a)
            trace.points.emplace_back(double(trend.UtcMs(b)), trend.Value(channel, b).Value());
        bucket = Bucket{};
    };

    int column = -1;
    bool gapInColumn = false, breakPending = false;
    for (qint64 i = first; i < last; ++i) {
        if (!trend.Contains(i, span))
            continue;
        const int c =
            std::min(columns - 1, int(double(trend.Time(i, span.base) - span.from) / width * columns));
        if (c != column) {
            flush();
            column = c;
            gapInColumn = false;
        }
        const StoredValue v = trend.Value(channel, i);
        if (v.IsGap()) {
            // The first gap of a column ends what the column had so far.
            if (!gapInColumn)
                flush();
            gapInColumn = breakPending = true;
            continue;
        }
        if (bucket.Empty()) {
            bucket.breakBefore = breakPending;
            breakPending = false;
        }
        bucket.Add(i, v.Value());
    }
    flush();
    return trace;
}

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
