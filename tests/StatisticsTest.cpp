// A span's records and their figures, and the picker's spans.
#include "viewer/Statistics.h"
#include "viewer/SpanChoice.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

using namespace tarvek;

namespace {

const auto At = [](const char* time) { return *ParseStoredTime(QString("2025-10-26T") + time); };

// The zone, records as BuildTrend on 2025-10-26, the span's time line, from
// and to ("HH:MM:SS" on that day and time line): the records in the span;
// count, gaps, minimum, maximum, mean.
TEST(SpanTable, HoldsTheRecordsOfTheSpanAndTheirFigures) {
    using S = std::tuple<const char*, const char*, const char*, TimeSpan::Base, const char*, const char*,
                         const char*>;
    const S rows[] = {
        S{"ExtremesAtTheirFirstRecord", "UTC", "10:00:00=5 10:01:00=1 10:02:00=5 10:03:00=1 10:04:00=-",
          TimeSpan::Utc, "10:00:00", "10:04:00", "0 1 2 3 4 ; 4 1 1 0 3"},
        S{"BothEndsIncluded", "UTC", "10:00:00=1 10:00:30=2 10:01:00=3 10:01:30=4", TimeSpan::Local,
          "10:00:30", "10:01:00", "1 2 ; 2 0 1 2 2.5"},
        S{"ClockSetBack", "UTC", "10:00:00=1 10:01:00=2 10:02:00=3 09:59:00=4", TimeSpan::Local, "09:59:00",
          "10:00:00", "0 3 ; 2 0 0 3 2.5"},
        // Daylight saving time ends at 03:00 summer time, 01:00 UTC: the hour from 02:00 comes twice.
        S{"RepeatedHourOnTheWallClock", "Europe/Berlin",
          "02:30:00=1 02:59:30=2 02:00:00=3 02:30:00=4 03:00:00=5", TimeSpan::Local, "02:00:00", "02:30:00",
          "0 2 3 ; 3 0 0 3 2.66667"},
        S{"RepeatedHourInTrueTime", "Europe/Berlin", "02:30:00=1 02:59:30=2 02:00:00=3 02:30:00=4 03:00:00=5",
          TimeSpan::Utc, "00:59:30", "01:30:00", "1 2 3 ; 3 0 1 3 3"}};
    for (const auto& [name, zone, records, base, from, to, want] : rows) {
        const Trend trend = BuildTrend(records, {zone, "2025-10-26"});
        const TimeSpan span{At(from), At(to), base};
        QString figures;
        const auto [first, last] = trend.IndexRange(span);
        for (qint64 i = first; i < last; ++i)
            figures += trend.Contains(i, span) ? QString::number(i) + ' ' : QString();
        const ChannelStatistics s = ComputeStatistics(trend, 0, span);
        figures +=
            QString("; %1 %2 %3 %4 %5").arg(s.count).arg(s.gaps).arg(s.minimum).arg(s.maximum).arg(s.mean);
        EXPECT_EQ(figures, QString(want)) << name;
    }
}

// The record under the pointer: the nearest, the first of equal times, also
// past a repeated time.
TEST(NearestRecord, FirstOfTheNearestAlsoPastARepeatedTime) {
    const Trend trend = BuildTrend("10:00:00=1 10:00:00=2 10:01:00=3", {"UTC", "2025-10-26"});
    const TimeSpan span{At("10:00:00"), At("10:01:00"), TimeSpan::Utc};
    EXPECT_EQ(NearestRecord(trend, span, At("10:00:20")), 0);
    EXPECT_EQ(NearestRecord(trend, span, At("10:00:50")), 2);
}

// The picker's spans end at the latest record, also when times fell (a clock
// set back); "From … to …" takes its whole last second; no records, no span.
TEST(SpanChoices, EndAtTheLatestRecord) {
    EXPECT_FALSE(ChosenSpan(SpanChoice::All, Trend(QTimeZone::utc()), 0, 0));
    const Trend trend = BuildTrend("12:00:00=0 19:00:00=0 15:00:00=0", {"UTC", "2025-10-26"});
    const qint64 t0 = At("10:00:00");
    const auto span = [&](SpanChoice c) {
        const TimeSpan s = *ChosenSpan(c, trend, t0, t0 + 1000);
        return std::pair((s.from - t0) / 3'600'000.0, (s.to - t0) / 3'600'000.0);
    };
    EXPECT_EQ(span(SpanChoice::LastHour), std::pair(8.0, 9.0));
    EXPECT_EQ(span(SpanChoice::LastDay), std::pair(-15.0, 9.0));
    EXPECT_EQ(span(SpanChoice::All), std::pair(2.0, 9.0));
    EXPECT_EQ(span(SpanChoice::FromTo), std::pair(0.0, 1999 / 3'600'000.0));
}

} // namespace
