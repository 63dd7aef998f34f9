// The alarm limits of the set-up and the periods outside them.
#include "viewer/Limits.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

#include <limits>

using namespace tarvek;

namespace {

constexpr TrendStart OnTheDay{"UTC", "2025-10-26"};
constexpr TimeSpan Everything{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};

struct PeriodCase {
    const char* name;
    const char* minimum;
    const char* maximum;
    const char* values;  // as BuildTrend, on 2025-10-26
    const char* periods; // "side first..last extreme@record count" per period, records by index
    const char* problems = "";
    const char* zone = "UTC";
    int spanFrom = -1, spanTo = -1; // the span by records; everything when negative
};

class LimitPeriods : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(LimitPeriods, EachRunOutsideIsOnePeriod) {
    const PeriodCase& c = GetParam();
    ChannelSettings channel{"Ch.1", "Bar", true, true, ParseLimit(c.minimum), ParseLimit(c.maximum), {}};
    const ChannelLimits limits = channel.limits = LimitsOf(channel.minimum, channel.maximum, 1);
    const QStringList problems = LimitProblems(channel);
    const Trend trend = BuildTrend(c.values, {c.zone, OnTheDay.date});
    const TimeSpan span =
        c.spanFrom < 0 ? Everything : TimeSpan{trend.UtcMs(c.spanFrom), trend.UtcMs(c.spanTo)};
    QStringList found;
    for (const LimitPeriod& p : FindPeriods(trend, 0, limits, span))
        found += QString::asprintf("%s %lld..%lld %s@%lld %lld", p.above ? "above" : "below", p.first, p.last,
                                   qPrintable(QString(trend.Value(0, p.extreme).Text())), p.extreme, p.count);
    EXPECT_EQ(found.join("; "), c.periods);
    EXPECT_EQ(problems.join("\n"), c.problems);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LimitPeriods,
    ::testing::Values(
        PeriodCase{"SingleRecordOutside", "0", "10", "5 11 5", "above 1..1 11@1 1"},
        PeriodCase{"GapEndsAPeriod", "0", "10", "11 12 - 13 5", "above 0..1 12@1 2; above 3..3 13@3 1"},
        PeriodCase{"AtALimitIsInside", "-0.5", "10", "10.000 -0.500 10 10.001 -0.501",
                   "above 3..3 10.001@3 1; below 4..4 -0.501@4 1"},
        PeriodCase{"SideChangeEndsAPeriod", "0", "10", "-1 -3 11", "below 0..1 -3@1 2; above 2..2 11@2 1"},
        // The extreme of a period is its first record at that value.
        PeriodCase{"ExtremeAtItsFirstRecord", "0", "10", "-2 -3 -3 11 12 12",
                   "below 0..2 -3@1 3; above 3..5 12@4 3"},
        PeriodCase{"OnlyAMinimum", "2", "", "1 100 1.5", "below 0..0 1@0 1; below 2..2 1.5@2 1"},
        PeriodCase{"OnlyAMaximum", "  ", "+5", "-100 6 7 6", "above 1..3 7@2 3"},
        // Whole blocks of 64 inside are passed by their summary: a period
        // across a block's edge stays one, a period up to a block inside
        // ends there, a lone value at a block's start is found.
        PeriodCase{"AcrossBlocks", "0", "10", "5*60 11*8 5*52 11*8 5*64 12 5*63 -7 5*70",
                   "above 60..67 11@60 8; above 120..127 11@120 8; above 192..192 12@192 1; below 256..256 "
                   "-7@256 1"},
        PeriodCase{"MinimumAboveMaximumIgnored", "10", "0", "-5 50", "",
                   "Ch.1 alarm minimum 10 not below maximum 0"},
        PeriodCase{"UnreadableLimitNamedTheOtherKept", "1,5", "10", "-5 50", "above 1..1 50@1 1",
                   "Ch.1 [Bar]: the alarm minimum \"1,5\" is not a number; it is not drawn"},
        // Daylight saving time ends: 02:50 and 02:55 of the first pass, then
        // 02:00 of the second, all above; the period runs across the hour.
        PeriodCase{"ARunThroughTheRepeatedHourIsOne", "0", "10",
                   "02:45:00=5 02:50:00=21 02:55:00=22 02:00:00=23 02:05:00=5", "above 1..3 23@3 3", "",
                   "Europe/Berlin", 1, 3}),
    RowName);

} // namespace
