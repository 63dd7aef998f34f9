#pragma once

#include "viewer/Trend.h"

namespace tarvek {

// Figures of one channel over a span; `minimum` and `maximum` are record
// indices (the first such record), -1 when the span holds no value.
struct ChannelStatistics {
    qint64 count = 0;
    qint64 gaps = 0;
    qint64 minimum = -1;
    qint64 maximum = -1;
    double mean = 0;
};

ChannelStatistics ComputeStatistics(const Trend& trend, int channel, const TimeSpan& span);

// The record of `span` nearest in true time to `utcMs`, or -1 when the span
// holds none.
qint64 NearestRecord(const Trend& trend, const TimeSpan& span, qint64 utcMs);

} // namespace tarvek
