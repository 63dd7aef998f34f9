#pragma once

#include "viewer/Trend.h"

#include <optional>
#include <utility>

namespace tarvek {

// The spans the viewer's picker offers, in its order.
enum class SpanChoice { LastHour, LastDay, LastWeek, LastMonth, All, FromTo };

// The earliest and the latest true time (ms) of the trend's records; nothing
// when it holds none.
std::optional<std::pair<qint64, qint64>> TimeExtent(const Trend& trend);

// The span (true time, ms) a choice shows: the last hour, day, week or 31
// days up to the latest record, all records, or FromTo's [from, to] with the
// whole second of `to`. Nothing for a trend without records, unless FromTo.
std::optional<TimeSpan> ChosenSpan(SpanChoice choice, const Trend& trend, qint64 from, qint64 to);

} // namespace tarvek
