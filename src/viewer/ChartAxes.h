#pragma once

#include "viewer/Channels.h"
#include "viewer/Decimate.h"

#include <QString>
#include <QTimeZone>

#include <optional>
#include <utility>
#include <vector>

namespace tarvek {

// The chart's axes as rules: which channels share a value axis, where the
// ticks of both axes fall and what their labels say.

// Channels that share a unit share one value axis (a strip of the chart);
// channels of different units never do. `units` holds each channel's unit
// as the set-up writes it, empty where it is missing: a missing unit is a
// unit of its own. Groups follow the channels' order of first appearance.
struct UnitGroup {
    QString unit;
    std::vector<int> channels;
};
std::vector<UnitGroup> GroupByUnit(const std::vector<QString>& units, const std::vector<int>& shown);

// A tick of the time axis: its true time (ms from 1970-01-01 UTC) and its
// label, the finest part first and, on a second line, the coarser part where
// it differs from the tick before ("10:00" then "12:00\n6 Mar").
struct TimeTick {
    qint64 utcMs = 0;
    QString label;
};

// Ticks on round instants of `zone`'s wall clock within [fromUtc, toUtc]:
// the smallest of 1, 5, 10, 15, 30 seconds; 1, 5, 10, 15, 30 minutes; 1, 3,
// 6, 12 hours; a day; a week (Mondays); 1, 3, 6 months; 1, 2, 5, 10, 20...
// years that gives at most `maxTicks` ticks.
std::vector<TimeTick> TimeTicks(qint64 fromUtc, qint64 toUtc, int maxTicks, const QTimeZone& zone);

// A value axis over [low, high] at most `maxTicks` steps of 1, 2 or 5 times a
// power of ten, widened to whole steps; its labels carry as many decimals as
// the step needs.
struct ValueScale {
    double low = 0, high = 1, step = 1;
    int decimals = 0;
    QString Label(double value) const;
};
ValueScale NiceScale(double low, double high, int maxTicks);
// The values the grid of `scale` marks over [low, high]: its whole steps, an
// end within a billionth of a step taken in (a range picked by the user, or
// a sum of steps, misses a step's multiple by rounding).
std::vector<double> ValueTicks(const ValueScale& scale, double low, double high);

// The range a strip shows for values over [low, high] (none: `any` false)
// and the limits drawn in it: the values with a margin, widened to take in a
// limit that lies within one span of the values (a limit far away, such as
// a default of -9999, does not flatten the lines).
std::pair<double, double> FitValues(bool any, double low, double high, const std::vector<double>& limits);

// What the strip of `channels` shows of their traces and alarm limits: its
// value axis of at most `maxTicks` steps and the values its plot spans. The
// fitted range (FitValues) widened to whole steps; a range the user picked
// (`zoom`) exactly, the axis ticking within it.
struct StripValues {
    ValueScale scale;
    double low = 0, high = 1;
};
StripValues StripRange(const std::vector<int>& channels, const std::array<Trace, ChannelCount>& traces,
                       const ChannelInfos& infos, const std::optional<std::pair<double, double>>& zoom,
                       int maxTicks);

} // namespace tarvek
