// Decimation: the points a channel's line is drawn with.
#include "viewer/Decimate.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

using namespace tarvek;

namespace {

struct DecimateCase {
    const char* name;
    const char* records; // as BuildTrend
    qint64 to;           // the span is [0 s, to s]
    int columns;
    const char* runs; // "s:value" per point, runs apart by " | "
};

class DecimateTable : public ::testing::TestWithParam<DecimateCase> {};

TEST_P(DecimateTable, DrawsTheExtremesOfEachColumnAndBreaksAtGaps) {
    const DecimateCase& c = GetParam();
    const Trend trend = BuildTrend(c.records);
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

} // namespace
