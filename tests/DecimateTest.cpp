// Decimation: the points a channel's line is drawn with.
#include "viewer/Decimate.h"

#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

using namespace tarvek;

namespace {

// Records as BuildTrend, the span [0 s, to s], the columns; "s:value" per
// point, runs apart by " | ".
TEST(DecimateTable, DrawsTheExtremesOfEachColumnAndBreaksAtGaps) {
    using D = std::tuple<const char*, const char*, qint64, int, const char*>;
    const D rows[] = {
        D{"TheSpansLastRecordInTheLastColumn", "0=5 1=1 2=3", 2, 1, "0:5 1:1"},
        D{"ColumnsInStoredOrder", "0=0 1=9 2=-9 3=1 4=2 5=3 6=4 7=5", 7, 2, "1:9 2:-9 4:2 7:5"},
        D{"AGapBreaksTheLine", "0=1 1=2 2=- 3=3 4=4", 4, 100, "0:1 1:2 | 3:3 4:4"},
        D{"GapsInOneColumnBreakItOnce", "0=1 1=- 2=2 3=- 4=3", 4, 1, "0:1 | 2:2 4:3"},
        D{"BlocksKeepToTheirOwnRecords", "0..63=0 64=-5 65..127=0", 127, 2, "0:0 64:-5 65:0"},
        D{"ThousandRecordsInThreePoints", "0..499=0 500=9 501..999=-1", 999, 2, "0:0 500:9 501:-1"},
        D{"TimesThatFall", "0=1 10=2 5=3 20=4", 10, 100, "0:1 10:2 5:3"}};
    for (const auto& [name, records, to, columns, want] : rows) {
        const Trend trend = BuildTrend(records);
        const Trace trace = Decimate(trend, 0, {0, to * 1000}, columns);
        QStringList runs;
        for (const auto run : trace.Runs()) {
            QStringList points;
            for (const QPointF& p : run)
                points += QString("%1:%2").arg(p.x() / 1000).arg(p.y());
            runs += points.join(' ');
        }
        EXPECT_EQ(runs.join(" | "), QString(want)) << name;
    }
}

} // namespace
