#pragma once

#include "viewer/Trend.h"

#include <QString>

#include <optional>
#include <vector>

namespace tarvek {

// A channel's alarm limits as the set-up holds them; either may be missing.
struct ChannelLimits {
    std::optional<double> low, high;
    bool Any() const { return low || high; }
    // Values exactly at a limit are inside.
    bool Below(double v) const { return low && v < *low; }
    bool Above(double v) const { return high && v > *high; }
};

// The limits of the set-up's alarm minimum and maximum texts. A blank field is no limit. A field that is not
// a decimal number ("-12.5",
// "+3", "10") is left out and named in `problems`; so are both when the
// minimum is not below the maximum. `channel` names the channel there.
ChannelLimits ParseLimits(const QString& minimum, const QString& maximum, const QString& channel,
                          QStringList* problems);

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

// Records below and above the limits among `periods` of `channel`.
struct OutsideCounts {
    qint64 below = 0, above = 0;
};
OutsideCounts CountOutside(const std::vector<LimitPeriod>& periods, int channel);

} // namespace tarvek
