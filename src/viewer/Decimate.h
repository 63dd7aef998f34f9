#pragma once

#include "viewer/Trend.h"

#include <QPointF>

#include <span>
#include <vector>

namespace tarvek {

// A channel's line as the chart draws it: points (x the true time in ms, y
// the value) in runs; a run starts at each index in `starts` and the line
// breaks between runs, where the channel had a gap.
struct Trace {
    std::vector<QPointF> points;
    std::vector<int> starts;

    // The points of each run, one line each.
    std::vector<std::span<const QPointF>> Runs() const;
};

// The line of `channel` over `span`, made for a plot `columns` pixels wide:
// per pixel column, the smallest and the largest value in stored order, so
// every spike stays visible and the cost of drawing does not grow with the
// number of records. A column with fewer values keeps them all. A gap breaks
// the line; gaps narrower than a column break it at most once per column.
Trace Decimate(const Trend& trend, int channel, const TimeSpan& span, int columns);

} // namespace tarvek
