// The alarm limits of the set-up and the periods outside them.
#include "viewer/Limits.h"
#include "viewer/TableText.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

#include <limits>
#include <tuple>

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
};

class LimitPeriods : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(LimitPeriods, EachRunOutsideIsOnePeriod) {
    const PeriodCase& c = GetParam();
    QStringList problems;
    const ChannelLimits limits =
        ParseLimits(ParseLimit(c.minimum), ParseLimit(c.maximum), "Ch.1 [Bar]", &problems);
    const Trend trend = BuildTrend(c.values, OnTheDay);
    QStringList found;
    for (const LimitPeriod& p : FindPeriods(trend, 0, limits, Everything))
        found += QString("%1 %2..%3 %4@%5 %6")
                     .arg(p.above ? "above" : "below")
                     .arg(p.first)
                     .arg(p.last)
                     .arg(QString(trend.Value(0, p.extreme).Text()))
                     .arg(p.extreme)
                     .arg(p.count);
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
                   "Ch.1 [Bar]: the alarm minimum 10 is not below the maximum 0; both are ignored"},
        PeriodCase{"UnreadableLimitNamedTheOtherKept", "1,5", "10", "-5 50", "above 1..1 50@1 1",
                   "Ch.1 [Bar]: the alarm minimum \"1,5\" is not a number; it is not drawn"}),
    RowName);

TEST(StatisticsText, CountsOutsideOnlyTheLimitsAChannelHas) {
    const Trend trend = BuildTrend("5 -1 - 12 -3", OnTheDay);
    const ChannelInfo info{{"Boiler", "Bar", true, false, {}, {}}, {0.0, std::nullopt}};
    const OutsideCounts outside = CountOutside(FindPeriods(trend, 0, info.limits, Everything), 0);
    EXPECT_EQ(StatisticsRow(trend, 0, info, ComputeStatistics(trend, 0, Everything), outside),
              (QStringList{"Boiler [Bar]", "4", "1", "-3", "2025-10-26 00:02:00", "12", "2025-10-26 00:01:30",
                           "3.250", "2", ""}));
}

// Daylight saving time ends: records at 02:50 and 02:55 of the first pass,
// then 02:00 of the second, all above; the period runs across the hour.
TEST(LimitPeriodsRepeatedHour, ARunThroughTheRepeatedHourIsOnePeriod) {
    Trend trend(QTimeZone("Europe/Berlin"));
    std::vector<StoredRecord> records;
    for (const char* t : {"02:45:00", "02:50:00", "02:55:00", "02:00:00", "02:05:00"})
        records.push_back({*ParseStoredTime(QString("2025-10-26T") + t), {}});
    for (int i = 0; i < 5; ++i)
        records[i].values[0] = StoredValue::FromDigits(i == 0 || i == 4 ? 5 : 20 + i, 0);
    trend.Append(records);
    const TimeSpan span{trend.UtcMs(1), trend.UtcMs(3)};
    const std::vector<LimitPeriod> periods = FindPeriods(trend, 0, {0.0, 10.0}, span);
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(std::tie(periods[0].first, periods[0].last, periods[0].extreme, periods[0].count),
              std::make_tuple(1, 3, 3, 3));
}

} // namespace
