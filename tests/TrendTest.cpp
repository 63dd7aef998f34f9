// The viewer's rules without its window: the record reader, decimation, the
// follow mode, the limits and their periods, the time axis, the PDF's pages
// and the CSV exports.
#include "data/StoringData.h"
#include "viewer/ChartAxes.h"
#include "viewer/CsvExport.h"
#include "viewer/ExportFile.h"
#include "viewer/SpanChoice.h"
#include "viewer/TrendMath.h"
#include "viewer/TrendReport.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// A good record with the byte at `at` changed.
QByteArray Changed(int at, char c) {
    QByteArray line = DataLine("10:00:00");
    line[at] = c;
    return line;
}

struct ReadCase {
    const char* name;
    QByteArray file;
    QByteArray records; // the time and channels 1 and 2 of each record read
    ReadTally tally;
    bool countDisagrees = false;
};

const QByteArray Three = DataLine("10:00:00") + DataLine("10:00:30") + DataLine("10:01:00");
const QByteArray ThreeRead = "10:00:00 1.000 1.000\n10:00:30 1.000 1.000\n10:01:00 1.000 1.000\n";

class DataFileRead : public AppFolderTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(DataFileRead, GivesTheCountedRecordsAndTalliesTheRest) {
    const ReadCase& c = GetParam();
    WriteBytes(DataPath("f.txt"), c.file);
    DataFileCursor cursor(DataPath("f.txt"));
    std::vector<StoredRecord> records;
    ASSERT_EQ(cursor.ReadNew(records), DataFileCursor::Outcome::Ok) << qPrintable(cursor.Error());
    const auto text = [](StoredValue v) -> QByteArray {
        return !v.IsGap() ? v.Text() : QByteArray(v.IsNoData() ? "NoData" : "Invalid");
    };
    QByteArray read;
    for (const StoredRecord& r : records)
        read += StoredTimeText(r.localMs).mid(11) + ' ' + text(r.values[0]) + ' ' + text(r.values[1]) + '\n';
    EXPECT_EQ(read, c.records);
    const ReadTally& t = cursor.Tally();
    EXPECT_EQ(std::tie(t.blank, t.notData, t.uncounted, t.torn),
              std::tie(c.tally.blank, c.tally.notData, c.tally.uncounted, c.tally.torn));
    EXPECT_EQ(cursor.CountNote().contains("the header counts"), c.countDisagrees)
        << qPrintable(cursor.CountNote());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DataFileRead,
    ::testing::Values(
        ReadCase{
            "TornTail", DataHeader("    3") + Three + DataLine("10:01:30").left(70), ThreeRead, {0, 0, 0, 1}},
        // The logger's rule: below the wrap every whole record counts; a
        // count that says otherwise is named (one behind is a store in flight).
        ReadCase{"BadHeader", DataHeader("  x12") + Three, ThreeRead, {}, true},
        ReadCase{"CountBeyondTheFile", DataHeader("    7") + Three, ThreeRead, {}, true},
        ReadCase{"CountDamagedLow", DataHeader("    1") + Three, ThreeRead, {}, true},
        ReadCase{"StoreInFlight", DataHeader("    2") + Three, ThreeRead, {}},
        ReadCase{"BlankGapRecord",
                 DataHeader("    3") + DataLine("10:00:00") + Record("", 160) + DataLine("10:01:00"),
                 "10:00:00 1.000 1.000\n10:01:00 1.000 1.000\n",
                 {1, 0, 0, 0}},
        ReadCase{"GapsAreNeverValues",
                 DataHeader("    1") + DataLine("10:00:00", {" No Data ", " ======= "}),
                 "10:00:00 NoData Invalid\n",
                 {}},
        ReadCase{"WideValuesReadExactly",
                 DataHeader("    2") + DataLine("10:00:00", {"-12345.68", "+123456.7"}) +
                     DataLine("10:00:30", {" -1234567", "+99999999"}),
                 "10:00:00 -12345.68 123456.7\n10:00:30 -1234567 99999999\n",
                 {}},
        // Daylight saving time ends: the hour from 02:00 comes twice.
        ReadCase{"RepeatedHourKept",
                 DataHeader("    3") + DataLine("02:59:30") + DataLine("02:00:00") + DataLine("02:30:00"),
                 "02:59:30 1.000 1.000\n02:00:00 1.000 1.000\n02:30:00 1.000 1.000\n",
                 {}},
        // Each separator of the time stamp, the unit, the number's form.
        ReadCase{"ForeignLines",
                 DataHeader("   14") + Record("Date;Time;Channel 1 exported by hand", 160) +
                     DataLine("10:00:00", {"  +1.2.3 "}) + DataLine("10:00:00", {"  +1..000"}) +
                     DataLine("10:00:00", {"  +01.000"}) + DataLine("10:00:00", {"    12.5 "}) +
                     DataLine("10:00:00", {}, "30-02-2025") + DataLine("25:00:00") + Changed(2, '.') +
                     Changed(5, '.') + Changed(10, ',') + Changed(13, '.') + Changed(16, '.') +
                     Changed(19, ',') + Changed(32, 'b'),
                 "",
                 {0, 14, 0, 0}}),
    RowName);

// Records of a trend on `date` in `zone`, channel 1 from `spec`: "T=V" for
// each, T a time "HH:MM:SS" or seconds ("A..B=V" each second from A to B), V
// a value with three decimals or "-" for a gap.
Trend MakeTrend(const char* spec, const char* zone = "UTC", const char* date = "1970-01-01") {
    Trend trend{QTimeZone(zone)};
    std::vector<StoredRecord> records;
    for (const QString& item : QString(spec).split(' ')) {
        const QStringList parts = item.split('='), times = parts[0].split("..");
        for (qint64 s = times[0].toLongLong(); s <= times.back().toLongLong(); ++s) {
            StoredRecord& r = records.emplace_back();
            r.localMs =
                parts[0].contains(':') ? *ParseStoredTime(QString("%1T%2").arg(date, parts[0])) : s * 1000;
            r.values.fill(StoredValue::FromDigits(0, 3));
            r.values[0] = parts[1] == "-" ? StoredValue::FromGap(StoredValue::NoData)
                                          : StoredValue::FromDigits(qRound(parts[1].toDouble() * 1000), 3);
        }
    }
    trend.Append(records);
    return trend;
}

struct DecimateCase {
    const char* name;
    const char* records; // as MakeTrend
    qint64 to;           // the span is [0 s, to s]
    int columns;
    const char* runs; // "s:value" per point, runs apart by " | "
};

class DecimateTable : public ::testing::TestWithParam<DecimateCase> {};

TEST_P(DecimateTable, DrawsTheExtremesOfEachColumnAndBreaksAtGaps) {
    const DecimateCase& c = GetParam();
    const Trend trend = MakeTrend(c.records);
    const Trace trace = Decimate(trend, 0, {0, c.to * 1000}, c.columns);
    QStringList runs;
    for (const auto run : trace.Runs()) {
        QStringList points;
        for (const QPointF& p : run)
            points += QString("%1:%2").arg(p.x() / 1000).arg(p.y());
        runs += points.join(' ');
    }
    EXPECT_EQ(runs.join(" | "), QString(c.runs));
}

INSTANTIATE_TEST_SUITE_P(
    Traces, DecimateTable,
    ::testing::Values(
        DecimateCase{"TheSpansLastRecordInTheLastColumn", "0=5 1=1 2=3", 2, 1, "0:5 1:1"},
        DecimateCase{"ColumnsInStoredOrder", "0=0 1=9 2=-9 3=1 4=2 5=3 6=4 7=5", 7, 2, "1:9 2:-9 4:2 7:5"},
        DecimateCase{"AGapBreaksTheLine", "0=1 1=2 2=- 3=3 4=4", 4, 100, "0:1 1:2 | 3:3 4:4"},
        DecimateCase{"GapsInOneColumnBreakItOnce", "0=1 1=- 2=2 3=- 4=3", 4, 1, "0:1 | 2:2 4:3"},
        DecimateCase{"BlocksKeepToTheirOwnRecords", "0..63=0 64=-5 65..127=0", 127, 2, "0:0 64:-5 65:0"},
        DecimateCase{"ThousandRecordsInThreePoints", "0..499=0 500=9 501..999=-1", 999, 2,
                     "0:0 500:9 501:-1"},
        DecimateCase{"TimesThatFall", "0=1 10=2 5=3 20=4", 10, 100, "0:1 10:2 5:3"}),
    RowName);

struct SpanCase {
    const char* name;
    const char* zone;
    const char* records; // as MakeTrend, on 2025-10-26
    TimeSpan::Base base;
    const char* from; // "HH:MM:SS" on 2025-10-26, on the span's time line
    const char* to;
    const char* figures; // the records in the span; count, gaps, minimum, maximum, mean
};

class SpanTable : public ::testing::TestWithParam<SpanCase> {};

TEST_P(SpanTable, HoldsTheRecordsOfTheSpanAndTheirFigures) {
    const SpanCase& c = GetParam();
    const Trend trend = MakeTrend(c.records, c.zone, "2025-10-26");
    const auto at = [](const char* time) { return *ParseStoredTime(QString("2025-10-26T") + time); };
    const TimeSpan span{at(c.from), at(c.to), c.base};
    QString figures;
    const auto [first, last] = trend.IndexRange(span);
    for (qint64 i = first; i < last; ++i)
        figures += trend.Contains(i, span) ? QString::number(i) + ' ' : QString();
    const ChannelStatistics s = ComputeStatistics(trend, 0, span);
    figures += QString("; %1 %2 %3 %4 %5").arg(s.count).arg(s.gaps).arg(s.minimum).arg(s.maximum).arg(s.mean);
    EXPECT_EQ(figures, QString(c.figures));
}

INSTANTIATE_TEST_SUITE_P(
    Spans, SpanTable,
    ::testing::Values(
        SpanCase{"ExtremesAtTheirFirstRecord", "UTC",
                 "10:00:00=5 10:01:00=1 10:02:00=5 10:03:00=1 10:04:00=-", TimeSpan::Utc, "10:00:00",
                 "10:04:00", "0 1 2 3 4 ; 4 1 1 0 3"},
        SpanCase{"BothEndsIncluded", "UTC", "10:00:00=1 10:00:30=2 10:01:00=3 10:01:30=4", TimeSpan::Local,
                 "10:00:30", "10:01:00", "1 2 ; 2 0 1 2 2.5"},
        SpanCase{"ClockSetBack", "UTC", "10:00:00=1 10:01:00=2 10:02:00=3 09:59:00=4", TimeSpan::Local,
                 "09:59:00", "10:00:00", "0 3 ; 2 0 0 3 2.5"},
        // Daylight saving time ends at 03:00 summer time, 01:00 UTC: the hour from 02:00 comes twice.
        SpanCase{"RepeatedHourOnTheWallClock", "Europe/Berlin",
                 "02:30:00=1 02:59:30=2 02:00:00=3 02:30:00=4 03:00:00=5", TimeSpan::Local, "02:00:00",
                 "02:30:00", "0 2 3 ; 3 0 0 3 2.66667"},
        SpanCase{"RepeatedHourInTrueTime", "Europe/Berlin",
                 "02:30:00=1 02:59:30=2 02:00:00=3 02:30:00=4 03:00:00=5", TimeSpan::Utc, "00:59:30",
                 "01:30:00", "1 2 3 ; 3 0 1 3 3"}),
    RowName);

// Written in exactly 19 characters and read back; any other text is refused.
TEST(LocalTime, NineteenCharactersBothWays) {
    for (const char* text :
         {"1970-01-01T00:00:00", "1969-12-31T23:59:59", "2025-03-05T00:00:00", "1900-02-28T13:04:05"}) {
        char out[24];
        std::fill(std::begin(out), std::end(out), '#');
        const std::optional<qint64> ms = ParseStoredTime(text);
        ASSERT_TRUE(ms) << text;
        WriteStoredTime(*ms, out);
        EXPECT_EQ(QByteArray(out, 24), QByteArray(text) + "#####");
    }
    for (const char* text :
         {"2025-03-05 10:00:00", "2025-02-30T10:00:00", "2025-03-05T24:00:00", "2025-03-05T10:00:00Z"})
        EXPECT_FALSE(ParseStoredTime(text)) << text;
}

// The picker's spans end at the latest record, also when times fell (a clock
// set back); "From … to …" takes its whole last second; no records, no span.
TEST(SpanChoices, EndAtTheLatestRecord) {
    Trend trend(QTimeZone::utc());
    const qint64 t0 = *ParseStoredTime("2025-01-01T10:00:00");
    std::vector<StoredRecord> records(3);
    for (int i = 0; i < 3; ++i)
        records[i].localMs = t0 + qint64(std::array{2, 9, 5}[i]) * 3'600'000;
    EXPECT_FALSE(ChosenSpan(SpanChoice::All, trend, 0, 0));
    trend.Append(records);
    const auto span = [&](SpanChoice c) {
        const TimeSpan s = *ChosenSpan(c, trend, t0, t0 + 1000);
        return std::pair((s.from - t0) / 3'600'000.0, (s.to - t0) / 3'600'000.0);
    };
    EXPECT_EQ(span(SpanChoice::LastHour), std::pair(8.0, 9.0));
    EXPECT_EQ(span(SpanChoice::LastDay), std::pair(-15.0, 9.0));
    EXPECT_EQ(span(SpanChoice::All), std::pair(2.0, 9.0));
    EXPECT_EQ(span(SpanChoice::FromTo), std::pair(0.0, 1999 / 3'600'000.0));
}

// Records every 30 s from 2025-10-26T00:00:00 on channel 1 of values written
// as "5 11 - 4*3" (a gap "-", "4*3" three fours).
Trend TrendOf(const QByteArray& values) {
    std::vector<StoredRecord> records;
    qint64 t = *ParseStoredTime("2025-10-26T00:00:00");
    for (const QByteArray& item : values.split(' ')) {
        const QList<QByteArray> parts = item.split('*');
        for (int n = parts.size() > 1 ? parts[1].toInt() : 1; n > 0; --n, t += 30'000) {
            StoredRecord r{t, {}};
            const int point = parts[0].indexOf('.');
            const int decimals = point < 0 ? 0 : int(parts[0].size()) - point - 1;
            r.values[0] =
                parts[0] == "-"
                    ? StoredValue::FromGap(StoredValue::NoData)
                    : StoredValue::FromDigits(QByteArray(parts[0]).remove(point, 1).toInt(), decimals);
            records.push_back(r);
        }
    }
    Trend trend(QTimeZone::utc());
    trend.Append(records);
    return trend;
}

constexpr TimeSpan Everything{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};

struct PeriodCase {
    const char* name;
    const char* minimum;
    const char* maximum;
    QByteArray values;
    const char* periods; // "side first..last extreme@record count" per period, records by index
    const char* problems = "";
};

class LimitPeriods : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(LimitPeriods, EachRunOutsideIsOnePeriod) {
    const PeriodCase& c = GetParam();
    QStringList problems;
    const ChannelLimits limits =
        ParseLimits(ParseLimit(c.minimum), ParseLimit(c.maximum), "Ch.1 [Bar]", &problems);
    const Trend trend = TrendOf(c.values);
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
    const Trend trend = TrendOf("5 -1 - 12 -3");
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

struct TickCase {
    const char* name;
    const char* zone;
    const char* from; // on the zone's wall clock
    const char* to;
    int maxTicks;
    const char* labels; // "|" between ticks, "/" between a label's lines
};

class TimeAxis : public ::testing::TestWithParam<TickCase> {};

TEST_P(TimeAxis, TicksFallOnRoundInstantsAndSayNoMoreThanNeeded) {
    const TickCase& c = GetParam();
    const QTimeZone zone(c.zone);
    const auto at = [&](const char* t) {
        const QDateTime wall = QDateTime::fromString(t, Qt::ISODate);
        return QDateTime(wall.date(), wall.time(), zone).toMSecsSinceEpoch();
    };
    QStringList labels;
    for (const TimeTick& tick : TimeTicks(at(c.from), at(c.to), c.maxTicks, zone))
        labels += QString(tick.label).replace('\n', '/');
    EXPECT_EQ(labels.join('|'), c.labels);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TimeAxis,
    ::testing::Values(TickCase{"Seconds", "UTC", "2025-03-05T10:00:00", "2025-03-05T10:01:00", 6,
                               "10:00:00/5 Mar 2025|10:00:15|10:00:30|10:00:45|10:01:00"},
                      TickCase{"Minutes", "UTC", "2025-03-05T10:02:10", "2025-03-05T10:40:00", 6,
                               "10:10/5 Mar 2025|10:20|10:30|10:40"},
                      TickCase{"HoursDateWhereItChanges", "UTC", "2025-03-05T20:00:00", "2025-03-06T05:00:00",
                               4, "21:00/5 Mar 2025|00:00/6 Mar|03:00"},
                      TickCase{"Days", "UTC", "2025-03-05T10:00:00", "2025-03-09T00:00:00", 6,
                               "6 Mar/2025|7 Mar|8 Mar|9 Mar"},
                      TickCase{"WeeksOnMondays", "UTC", "2025-03-01T00:00:00", "2025-04-01T00:00:00", 6,
                               "3 Mar/2025|10 Mar|17 Mar|24 Mar|31 Mar"},
                      TickCase{"MonthsYearWhereItChanges", "UTC", "2025-11-15T00:00:00",
                               "2026-04-01T00:00:00", 6, "Dec/2025|Jan/2026|Feb|Mar|Apr"},
                      TickCase{"Years", "UTC", "2020-06-01T00:00:00", "2025-03-01T00:00:00", 6,
                               "2021|2022|2023|2024|2025"},
                      TickCase{"Centuries", "UTC", "1890-06-01T00:00:00", "2110-01-01T00:00:00", 6,
                               "1900|1950|2000|2050|2100"},
                      // Local round hours: twice 02:00 when the hour repeats, the half
                      // hour of the offset kept.
                      TickCase{"RepeatedHour", "Europe/Berlin", "2025-10-26T01:00:00", "2025-10-26T04:00:00",
                               6, "01:00/26 Oct 2025|02:00|02:00|03:00|04:00"},
                      TickCase{"HalfHourOffset", "Asia/Kolkata", "2025-03-05T09:40:00", "2025-03-05T13:00:00",
                               6, "10:00/5 Mar 2025|11:00|12:00|13:00"}),
    RowName);

TEST(ValueAxis, StepsOfOneTwoFiveAndLimitsNearTheValues) {
    const ValueScale a = NiceScale(0.3, 9.7, 5);
    EXPECT_EQ(std::make_tuple(a.low, a.high, a.step, a.Label(4)),
              std::make_tuple(0.0, 10.0, 2.0, QString("4")));
    const ValueScale b = NiceScale(-0.012, 0.047, 6);
    EXPECT_EQ(std::make_tuple(b.step, b.Label(-0.01), b.Label(1e-17)),
              std::make_tuple(0.01, QString("-0.01"), QString("0.00")));
    EXPECT_EQ(FitValues(true, 3, 7, {0, 10}), std::make_pair(-0.5, 10.5));
    EXPECT_EQ(FitValues(true, 3, 7, {-9999, 9999}), std::make_pair(2.8, 7.2));
}

TEST(PdfPages, TheChartFirstThenTheTablesHeadingsRepeatedOnEachPage) {
    const std::vector<PrintedTable> tables = {
        {"Statistics", {"a", "b"}, std::vector<QStringList>(2), {50, 80}},
        {"Periods", {"c"}, std::vector<QStringList>(50), {60}}};
    const auto pages = LayOutPages(QSizeF(1000, 700), QSizeF(1200, 600), 20, tables);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0][0].rect, QRectF(0, 0, 840, 420)); // its shape kept
    QStringList seen;
    for (const auto& page : pages) {
        seen += "|";
        for (const PagePart& part : page) {
            EXPECT_LE(part.rect.bottom(), 700);
            if (part.kind == PagePart::Title || (part.kind == PagePart::Line && part.row < 0))
                seen += QString("%1%2").arg(part.kind == PagePart::Title ? "T" : "H").arg(part.table);
        }
    }
    // 420 + 20 + 4 lines of the first table + 20: the second starts at 540
    // and has room for 6 rows there, 34 on the next page, the rest on a third.
    EXPECT_EQ(seen.join(""), "|T0H0T1H1|H1|H1");
    EXPECT_EQ(pages[0][1].columns, (std::vector<double>{0, 90}));
}

class ViewerFiles : public AppFolderTest {
  protected:
    int Export(const QStringList& arguments) {
        QTextStream stream(&err_);
        return RunCsvExport(QStringList{"tarvek-view"} + arguments, state.AppFolder + "/datafiles", stream);
    }
    QString err_;
};

TEST_F(ViewerFiles, FollowReadsOnlyWhatWasAddedAndANewMonthsFile) {
    StoreScan("30-11-2025", "23:59:00", "   +1.000", "   +1.000");
    TrendSource source(QTimeZone::utc());
    ASSERT_TRUE(source.Open({state.AppFolder + "/datafiles"}));
    EXPECT_EQ(source.FollowStep(), TrendSource::Change::None);

    // Spoil the record already read: a follow step that read the file again would see it.
    QFile file(DataPath("11-2025-Data.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.seek(160) && file.write("xx") == 2);
    file.close();
    StoreScan("30-11-2025", "23:59:30", "   +2.000", "   +2.000");
    StoreScan("01-12-2025", "00:00:00", "   +3.000", "   +3.000");
    EXPECT_EQ(source.FollowStep(), TrendSource::Change::Appended);
    const Trend& trend = source.Data();
    ASSERT_EQ(trend.Size(), 3);
    EXPECT_EQ(trend.Value(0, 1).Text(), "2.000");
    EXPECT_EQ(trend.Value(7, 2).Text(), "3.000");

    // Month files given go by month; with any other name, in the order given.
    ASSERT_TRUE(QFile::copy(DataPath("11-2025-Data.txt"), state.AppFolder + "/copy.txt"));
    for (const auto& [other, first] : {std::pair{DataPath("11-2025-Data.txt"), "2.000"},
                                       std::pair{state.AppFolder + "/copy.txt", "3.000"}}) {
        TrendSource given(QTimeZone::utc());
        ASSERT_TRUE(given.Open({DataPath("12-2025-Data.txt"), other}));
        EXPECT_EQ(given.Data().Value(0, 0).Text(), first) << qPrintable(other);
    }
}

// A far-future month (a wrong clock, or planted) does not stop the follow
// mode; a FIFO swapped in for a month file is named, never waited on.
TEST_F(ViewerFiles, FollowEveryFileThatChanges) {
    StoreScan("30-11-2025", "23:59:00", "   +1.000", "   +1.000");
    WriteBytes(DataPath("12-9999-Data.txt"), "");
    TrendSource source(QTimeZone::utc());
    ASSERT_TRUE(source.Open({state.AppFolder + "/datafiles"}));
    StoreScan("30-11-2025", "23:59:30", "   +2.000", "   +2.000");
    EXPECT_NE(source.FollowStep(), TrendSource::Change::None);
    ASSERT_EQ(source.Data().Size(), 2);
    EXPECT_EQ(source.Data().Value(0, 1).Text(), "2.000");

    const QString month = DataPath("11-2025-Data.txt");
    ASSERT_TRUE(QFile::remove(month) && ::mkfifo(qPrintable(month), 0600) == 0);
    EXPECT_EQ(source.FollowStep(), TrendSource::Change::Reloaded);
    EXPECT_EQ(source.Errors(), QStringList{month + ": cannot open (is not a regular file)"});
}

// Past the record limit the newest files are read and the oldest named.
TEST_F(ViewerFiles, BeyondTheRecordLimitTheNewestFilesAreRead) {
    for (const QString date : {"05-01-2025", "05-02-2025", "06-02-2025", "05-03-2025"})
        StoreScan(date, "10:00:00", "   +1.000", "   +1.000");
    TrendSource source(QTimeZone::utc(), 3);
    EXPECT_FALSE(source.Open({state.AppFolder + "/datafiles"}));
    EXPECT_EQ(source.Data().Size(), 3);
    EXPECT_EQ(source.Errors().join(""),
              "left out the oldest 1 files, 1 records (" + DataPath("01-2025-Data.txt") + " to " +
                  DataPath("01-2025-Data.txt") + "): more than 3 records are not held at once");
}

// Into a file, and into a pipe that is written through, not replaced by a
// file. Control characters leave the names, and a name a spreadsheet would
// run as a formula is marked as text; values are never touched.
TEST_F(ViewerFiles, CsvOfAKnownFileByteForByte) {
    WriteBytes(DataPath("10-2025-Data.txt"),
               DataHeader("    3") + DataLine("01:59:30", {"  +12.345", "   -0.500"}) +
                   DataLine("02:00:00", {" No Data ", " ======= ", "-12345.68"}) +
                   DataLine("02:00:30", {"+123456.7", " -1234567", "   +0.000"}));
    // Channel 1 named with a comma, channel 2 with quotes, channel 3 with control
    // characters and a leading minus, the others unnamed.
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + ChannelLine("Inlet, A", "mbar", "-1", "12") +
                   ChannelLine("Outlet \"B\"", "mV", "x") + ChannelLine("\x7f\t-Flo\x1bw", "m"));
    const QByteArray csv =
        "time,\"Inlet, A [mbar]\",\"Outlet \"\"B\"\" [mV]\",'-Flow [m],Ch.4 [Bar],Ch.5 [Bar],"
        "Ch.6 [Bar],Ch.7 [Bar],Ch.8 [Bar]\r\n"
        "2025-10-26T01:59:30,12.345,-0.500,1.000,1.000,1.000,1.000,1.000,1.000\r\n"
        "2025-10-26T02:00:00,,,-12345.68,1.000,1.000,1.000,1.000,1.000\r\n";
    const QString pipe = state.AppFolder + "/pipe";
    ASSERT_EQ(::mkfifo(qPrintable(pipe), 0600), 0);
    const int reader =
        ::open(qPrintable(pipe), O_RDONLY | O_NONBLOCK); // there before the export; the CSV fits
    ASSERT_GE(reader, 0);
    for (const QString& out : {state.AppFolder + "/out.csv", pipe})
        ASSERT_EQ(Export({"--csv", out, "--from", "2025-10-26T01:59:30", "--to", "2025-10-26T02:00:00"}), 0)
            << qPrintable(err_);
    EXPECT_EQ(ReadBytes(state.AppFolder + "/out.csv"), csv);
    char bytes[4096];
    const ssize_t n = ::read(reader, bytes, sizeof bytes);
    ::close(reader);
    EXPECT_EQ(QByteArray(bytes, int(std::max<ssize_t>(n, 0))), csv);
    EXPECT_FALSE(QFileInfo(pipe).isFile());
    EXPECT_TRUE(err_.isEmpty()) << qPrintable(err_);
    const char *shown[] = {"tarvek-view", "--from", "x"}, *written[] = {"tarvek-view", "--csv=-"};
    EXPECT_FALSE(IsCsvExport(3, shown));
    EXPECT_TRUE(IsCsvExport(2, written));

    // The periods outside limits of the same span, the unreadable limit
    // named; also without a display.
    const char* headless[] = {"tarvek-view", "--limits-csv=-", "--limits-csvx"};
    EXPECT_TRUE(IsCsvExport(2, headless));
    EXPECT_FALSE(IsCsvExport(1, headless) || IsCsvExport(2, headless + 1));
    const QString out = state.AppFolder + "/periods.csv";
    ASSERT_EQ(Export({"--limits-csv", out, "--from", "2025-10-26T01:59:30", "--to", "2025-10-26T02:00:30"}),
              0);
    EXPECT_EQ(ReadBytes(out), "channel,from,to,outside,extreme,at,records\r\n"
                              "\"Inlet, A [mbar]\",2025-10-26T01:59:30,2025-10-26T01:59:30,above,12.345,"
                              "2025-10-26T01:59:30,1\r\n"
                              "\"Inlet, A [mbar]\",2025-10-26T02:00:30,2025-10-26T02:00:30,above,123456.7,"
                              "2025-10-26T02:00:30,1\r\n");
    EXPECT_EQ(err_.count("Outlet \"B\" [mV]: the alarm minimum \"x\" is not a number"), 1)
        << qPrintable(err_);
}

// A long export goes out in blocks of a megabyte: a write refused on the way
// (a full disk) fails it, and a file keeps its older version.
TEST_F(ViewerFiles, ALongExportRefusedOnTheWayFailsWhole) {
    std::vector<StoredRecord> records(16'000);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].localMs = qint64(i) * 30'000;
        records[i].values.fill(StoredValue::FromDigits(1000, 3));
    }
    Trend trend(QTimeZone::utc());
    trend.Append(records);
    const std::vector<int> shown{0, 1, 2, 3, 4, 5, 6, 7};
    const TimeSpan all{0, trend.UtcMs(trend.Size() - 1)};
    const QString path = state.AppFolder + "/out.csv";
    WriteBytes(path, "an older export");
    QString error;
    {
        const FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.Active());
        for (const qint64 room : {10, 64 * 1024}) { // the header refused, then a block
            QFile direct(state.AppFolder + "/direct.csv");
            ASSERT_TRUE(direct.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        direct.seek(64 * 1024 - room));
            EXPECT_FALSE(WriteCsv(direct, trend, ChannelInfos{}, shown, all)) << room;
        }
        EXPECT_FALSE(ExportCsv(path, trend, ChannelInfos{}, shown, all, &error));
    }
    EXPECT_TRUE(error.startsWith(path + ": cannot write")) << qPrintable(error);
    EXPECT_EQ(ReadBytes(path), "an older export");
    ASSERT_TRUE(ExportCsv(path, trend, ChannelInfos{}, shown, all, &error)) << qPrintable(error);
    const QByteArray csv = ReadBytes(path);
    EXPECT_EQ(csv.count("\r\n"), 16'001);
    EXPECT_TRUE(csv.endsWith("\n1970-01-06T13:19:30" + QByteArray(",1.000").repeated(8) + "\r\n"));
}

struct ExportFailure {
    const char* name;
    const char* arguments; // "@" stands for the application folder
    int exitCode;
    const char* message;
    const char* fifo = nullptr; // made first, under the application folder
    rlim_t fileSizeLimit = 0;   // none when 0
    const char* link = nullptr; // made a link to out.csv, under the application folder
};

class CsvExportFailure : public ViewerFiles, public ::testing::WithParamInterface<ExportFailure> {};

TEST_P(CsvExportFailure, SaysWhyAndLeavesNothingHalfWritten) {
    const ExportFailure& c = GetParam();
    StoreScan("05-03-2008", "10:15:30", "   +1.000", "   +1.000");
    WriteBytes(state.AppFolder + "/out.csv", "an older export");
    QDir().mkpath(state.AppFolder + "/empty");
    QDir().mkpath(state.AppFolder + "/settingfiles");
    ASSERT_TRUE(QFile::link(state.AppFolder + "/out.csv", state.AppFolder + "/link.csv"));
    ASSERT_TRUE(!c.fifo || ::mkfifo(qPrintable(state.AppFolder + '/' + c.fifo), 0600) == 0);
    ASSERT_TRUE(!c.link || QFile::link(state.AppFolder + "/out.csv", state.AppFolder + '/' + c.link));
    std::optional<FileSizeLimit> limit;
    if (c.fileSizeLimit > 0)
        limit.emplace(c.fileSizeLimit);
    EXPECT_EQ(Export(QString(c.arguments).replace("@", state.AppFolder).split(' ')), c.exitCode);
    limit.reset();
    EXPECT_TRUE(err_.contains(QString(c.message).replace("@", state.AppFolder))) << qPrintable(err_);
    EXPECT_EQ(ReadBytes(state.AppFolder + "/out.csv"), "an older export");
    EXPECT_EQ(QDir(state.AppFolder).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks),
              QStringList{"out.csv"});
}

INSTANTIATE_TEST_SUITE_P(
    Export, CsvExportFailure,
    ::testing::Values(
        ExportFailure{"MissingFile", "--csv @/out.csv @/datafiles/03-2008-Data.txt @/gone.txt", 1,
                      "@/gone.txt: cannot open"},
        ExportFailure{"FolderWithoutDataFiles", "--csv @/out.csv @/empty", 1, "@/empty: holds no data files"},
        ExportFailure{"OutputNotWritable", "--csv @/none/out.csv @/datafiles", 1,
                      "@/none/out.csv: cannot write"},
        ExportFailure{"BadTime", "--csv @/out.csv --from 2008-03-05_10:00 @/datafiles", 2,
                      "--from wants YYYY-MM-DDTHH:MM:SS"},
        ExportFailure{"FromAfterTo",
                      "--csv @/out.csv --from 2008-03-06T00:00:00 --to 2008-03-05T00:00:00 @/datafiles", 2,
                      "is later than --to"},
        ExportFailure{"EmptyOutName", "--csv= @/datafiles", 2, "--csv wants the name"},
        // Never blocked on, never written through, never cut short.
        ExportFailure{"FifoAsMonthFile", "--csv @/out.csv @/fifo", 1,
                      "@/fifo: cannot open (is not a regular file)", "fifo"},
        ExportFailure{"FifoAsChannelFile", "--csv @/out.csv @/datafiles", 1,
                      "channelsparameters.txt: cannot open (is not a regular file)",
                      "settingfiles/channelsparameters.txt"},
        ExportFailure{"LinkAsChannelFile", "--csv @/out.csv @/datafiles", 1,
                      "channelsparameters.txt: cannot open (is a symbolic link)", nullptr, 0,
                      "settingfiles/channelsparameters.txt"},
        ExportFailure{"OutputALink", "--csv @/link.csv @/datafiles", 1,
                      "@/link.csv: cannot write (is a symbolic link"},
        ExportFailure{"FileSizeLimit", "--csv @/out.csv @/datafiles", 1,
                      "@/out.csv: cannot write (File too large)", nullptr, 100}),
    RowName);

// Each format goes to its writer by the name's suffix, in any case.
TEST_F(ViewerFiles, ExportsGoByTheSuffix) {
    const auto writer = [](const char* text) {
        return [text](QIODevice& out) { return out.write(text) == 3; };
    };
    QString error, bytes;
    for (const char* name : {"a.PNG", "b.pdf", "c.csv", "d.txt"}) {
        ASSERT_TRUE(WriteExportAs(state.AppFolder + '/' + name, {writer("csv"), writer("png"), writer("pdf")},
                                  &error));
        bytes += ReadBytes(state.AppFolder + '/' + name);
    }
    EXPECT_EQ(bytes, "pngpdfcsvcsv");
}

} // namespace
