#pragma once

#include "config/ChannelSettings.h"
#include "viewer/Trend.h"

#include <QString>

#include <functional>
#include <utility>

#include <optional>
#include <vector>

namespace tarvek {

// What the problems line says of a channel's limits: a field that is no
// number, by the channel's heading, and a pair that cannot be used
// (ChannelLimits::unusable). Neither is drawn.
QStringList LimitProblems(const ChannelSettings& channel);

// A run of records of one channel outside its limits on one side: record
// indices of the first and last, and of the first most extreme value. A gap,
// a value inside, a record outside the span or a change of side ends it.
struct LimitPeriod {
    int channel = 0;
    bool above = false;
    qint64 first = 0, last = 0, extreme = 0;
    qint64 count = 0;
};

// The periods of `channel` over `span`, in stored order; none without limits.
std::vector<LimitPeriod> FindPeriods(const Trend& trend, int channel, const ChannelLimits& limits,
                                     const TimeSpan& span);

// The x ranges a chart shades for the periods of `channel` on one side, `xOf`
// placing a record: each from a pixel before its first record to a pixel
// after its last, at least 2 wide. Periods a pixel apart are shaded as one:
// a year can hold thousands.
std::vector<std::pair<double, double>> ShadeBands(const std::vector<LimitPeriod>& periods, int channel,
                                                  bool above, const std::function<double(qint64)>& xOf);

// Records below and above the limits among `periods` of `channel`.
struct OutsideCounts {
    qint64 below = 0, above = 0;
};
OutsideCounts CountOutside(const std::vector<LimitPeriod>& periods, int channel);

} // namespace tarvek
