// The alarm limits of the set-up and the periods outside them.
#include "viewer/Limits.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

#include <limits>

using namespace tarvek;

namespace {

constexpr TimeSpan Everything{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};

// The minimum, the maximum, records as BuildTrend on 2025-10-26 in `zone`,
// and the span by records (everything when negative): "side first..last
// extreme@record count" per period, records by index; then the problems.
QString Periods(const char* minimum, const char* maximum, const char* values, const char* zone = "UTC",
                int spanFrom = -1, int spanTo = -1) {
    ChannelSettings channel{"Ch.1", "Bar", true, true, ParseLimit(minimum), ParseLimit(maximum), {}};
    const ChannelLimits limits = channel.limits = LimitsOf(channel.minimum, channel.maximum, 1);
    const Trend trend = BuildTrend(values, {zone, "2025-10-26"});
    const TimeSpan span = spanFrom < 0 ? Everything : TimeSpan{trend.UtcMs(spanFrom), trend.UtcMs(spanTo)};
    QStringList found;
    for (const LimitPeriod& p : FindPeriods(trend, 0, limits, span))
        found += QString::asprintf("%s %lld..%lld %s@%lld %lld", p.above ? "above" : "below", p.first, p.last,
                                   qPrintable(QString(trend.Value(0, p.extreme).Text())), p.extreme, p.count);
    return (found + LimitProblems(channel)).join("; ");
}

TEST(LimitPeriods, EachRunOutsideIsOnePeriod) {
    using P = std::tuple<const char*, const char*, const char*, const char*, const char*>;
    const P rows[] = {
        P{"SingleRecordOutside", "0", "10", "5 11 5", "above 1..1 11@1 1"},
        P{"GapEndsAPeriod", "0", "10", "11 12 - 13 5", "above 0..1 12@1 2; above 3..3 13@3 1"},
        P{"AtALimitIsInside", "-0.5", "10", "10.000 -0.500 10 10.001 -0.501",
          "above 3..3 10.001@3 1; below 4..4 -0.501@4 1"},
        P{"SideChangeEndsAPeriod", "0", "10", "-1 -3 11", "below 0..1 -3@1 2; above 2..2 11@2 1"},
        // The extreme of a period is its first record at that value.
        P{"ExtremeAtItsFirstRecord", "0", "10", "-2 -3 -3 11 12 12", "below 0..2 -3@1 3; above 3..5 12@4 3"},
        P{"OnlyAMinimum", "2", "", "1 100 1.5", "below 0..0 1@0 1; below 2..2 1.5@2 1"},
        P{"OnlyAMaximum", "  ", "+5", "-100 6 7 6", "above 1..3 7@2 3"},
        // Whole blocks of 64 inside are passed by their summary: a period
        // across a block's edge stays one, a period up to a block inside
        // ends there, a lone value at a block's start is found.
        P{"AcrossBlocks", "0", "10", "5*60 11*8 5*52 11*8 5*64 12 5*63 -7 5*70",
          "above 60..67 11@60 8; above 120..127 11@120 8; above 192..192 12@192 1; below 256..256 -7@256 1"},
        P{"MinimumAboveMaximumIgnored", "10", "0", "-5 50", "Ch.1 alarm minimum 10 not below maximum 0"},
        P{"UnreadableLimitNamedTheOtherKept", "1,5", "10", "-5 50",
          "above 1..1 50@1 1; Ch.1 [Bar]: the alarm minimum \"1,5\" is not a number; it is not drawn"}};
    for (const auto& [name, minimum, maximum, values, want] : rows)
        EXPECT_EQ(Periods(minimum, maximum, values), QString(want)) << name;
    // Daylight saving time ends: 02:50 and 02:55 of the first pass, then
    // 02:00 of the second, all above; the period runs across the hour.
    EXPECT_EQ(Periods("0", "10", "02:45:00=5 02:50:00=21 02:55:00=22 02:00:00=23 02:05:00=5", "Europe/Berlin",
                      1, 3),
              "above 1..3 23@3 3");
}

} // namespace
