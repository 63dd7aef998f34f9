// The chart's axes: the ticks of time and value.
#include "viewer/ChartAxes.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

// The zone, from and to on its wall clock, the most ticks: the labels, "|"
// between ticks, "/" between a label's lines.
TEST(TimeAxis, TicksFallOnRoundInstantsAndSayNoMoreThanNeeded) {
    using T = std::tuple<const char*, const char*, const char*, const char*, int, const char*>;
    const T rows[] = {
        T{"Seconds", "UTC", "2025-03-05T10:00:00", "2025-03-05T10:01:00", 6,
          "10:00:00/5 Mar 2025|10:00:15|10:00:30|10:00:45|10:01:00"},
        T{"Minutes", "UTC", "2025-03-05T10:02:10", "2025-03-05T10:40:00", 6,
          "10:10/5 Mar 2025|10:20|10:30|10:40"},
        T{"HoursDateWhereItChanges", "UTC", "2025-03-05T20:00:00", "2025-03-06T05:00:00", 4,
          "21:00/5 Mar 2025|00:00/6 Mar|03:00"},
        T{"DaysOneAtTheStart", "UTC", "2025-03-06T00:00:00", "2025-03-09T00:00:00", 6,
          "6 Mar/2025|7 Mar|8 Mar|9 Mar"},
        T{"WeeksOnMondays", "UTC", "2025-03-01T00:00:00", "2025-04-01T00:00:00", 6,
          "3 Mar/2025|10 Mar|17 Mar|24 Mar|31 Mar"},
        T{"MonthsYearWhereItChanges", "UTC", "2025-11-15T00:00:00", "2026-04-01T00:00:00", 6,
          "Dec/2025|Jan/2026|Feb|Mar|Apr"},
        T{"Years", "UTC", "2020-06-01T00:00:00", "2025-03-01T00:00:00", 6, "2021|2022|2023|2024|2025"},
        T{"Centuries", "UTC", "1890-06-01T00:00:00", "2110-01-01T00:00:00", 6, "1900|1950|2000|2050|2100"},
        // Local round hours: twice 02:00 when the hour repeats, the half
        // hour of the offset kept.
        T{"RepeatedHour", "Europe/Berlin", "2025-10-26T01:00:00", "2025-10-26T04:00:00", 6,
          "01:00/26 Oct 2025|02:00|02:00|03:00|04:00"},
        T{"HalfHourOffset", "Asia/Kolkata", "2025-03-05T09:40:00", "2025-03-05T13:00:00", 6,
          "10:00/5 Mar 2025|11:00|12:00|13:00"}};
    for (const auto& [name, zoneName, from, to, maxTicks, want] : rows) {
        const QTimeZone zone(zoneName);
        const auto at = [&](const char* t) {
            const QDateTime wall = QDateTime::fromString(t, Qt::ISODate);
            return QDateTime(wall.date(), wall.time(), zone).toMSecsSinceEpoch();
        };
        QStringList labels;
        for (const TimeTick& tick : TimeTicks(at(from), at(to), maxTicks, zone))
            labels += QString(tick.label).replace('\n', '/');
        EXPECT_EQ(labels.join('|'), QString(want)) << name;
    }
}

TEST(ValueAxis, StepsOfOneTwoFiveLimitsNearTheValuesAndTheGrid) {
    const ValueScale a = NiceScale(0.3, 9.7, 5);
    EXPECT_EQ(std::make_tuple(a.low, a.high, a.step, a.Label(4)),
              std::make_tuple(0.0, 10.0, 2.0, QString("4")));
    const ValueScale b = NiceScale(-0.012, 0.047, 6);
    EXPECT_EQ(std::make_tuple(b.step, b.Label(-0.01), b.Label(1e-17)),
              std::make_tuple(0.01, QString("-0.01"), QString("0.00")));
    EXPECT_EQ(FitValues(true, 3, 7, {0, 10}), std::make_pair(-0.5, 10.5));
    EXPECT_EQ(FitValues(true, 3, 7, {-9999, 9999}), std::make_pair(2.8, 7.2));
    EXPECT_EQ(FitValues(true, 3, 7, {-1}).first, -1 - 0.4); // a limit a spread away is drawn
    // The grid on whole steps, an end a rounding away from one taken in, and
    // an end in a range zoomed finer than a double tells.
    EXPECT_EQ(ValueTicks(NiceScale(-0.7, 1.2, 4), -0.7, 1.2), (std::vector<double>{-0.5, 0, 0.5, 1}));
    EXPECT_EQ(ValueTicks({0, 1, 0.1, 1}, 3 * 0.1, 0.6).size(), 4u);
    EXPECT_LE(ValueTicks({0, 1, 2e-9, 9}, 1e8, 1e8 + 1e-8).size(), 10u);
}

} // namespace
