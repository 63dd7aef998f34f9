#include "viewer/Decimate.h"

#include <algorithm>

namespace tarvek {

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

std::vector<std::span<const QPointF>> Trace::Runs() const {
    std::vector<std::span<const QPointF>> runs;
    for (std::size_t run = 0; run < starts.size(); ++run) {
        const std::size_t end = run + 1 < starts.size() ? std::size_t(starts[run + 1]) : points.size();
        runs.emplace_back(points.data() + starts[run], end - std::size_t(starts[run]));
    }
    return runs;
}

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
    const auto columnOf = [&](qint64 i) {
        return std::min(columns - 1, int(double(trend.Time(i, span.base) - span.from) / width * columns));
    };
    const auto enter = [&](int c) {
        if (c != column) {
            flush();
            column = c;
            gapInColumn = false;
        }
    };
    const auto add = [&](qint64 i) {
        if (bucket.Empty()) {
            bucket.breakBefore = breakPending;
            breakPending = false;
        }
        bucket.Add(i, trend.Value(channel, i).Value());
    };
    // With rising times every record of [first, last) is in the span, and a
    // whole block without gaps inside one column counts by its summary.
    const bool blocks = trend.TimesNeverFall(span.base);
    constexpr qint64 B = Trend::BlockSize;
    for (qint64 i = first; i < last;) {
        if (blocks && i % B == 0 && i + B <= last && i / B < trend.BlockCount()) {
            const Trend::Block& block = trend.BlockOf(channel, i / B);
            const int c = columnOf(i);
            if (!block.gap && c == columnOf(i + B - 1)) {
                enter(c);
                add(i + std::min(block.low, block.high));
                add(i + std::max(block.low, block.high));
                i += B;
                continue;
            }
        }
        if (!trend.Contains(i, span)) {
            ++i;
            continue;
        }
        enter(columnOf(i));
        if (trend.Value(channel, i).IsGap()) {
            // The first gap of a column ends what the column had so far.
            if (!gapInColumn)
                flush();
            gapInColumn = breakPending = true;
        } else {
            add(i);
        }
        ++i;
    }
    flush();
    return trace;
}

} // namespace tarvek
