// The viewer's data files: the follow step and the record limit.
#include "viewer/TrendSource.h"
#include "viewer/FollowWatch.h"

#include "support/TestSupport.h"

#include <tuple>
#include <vector>

#include <sys/stat.h>

using namespace tarvek;

namespace {

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
    // The last file replaced by another holding more: nothing of the one before stays.
    WriteBytes(state.AppFolder + "/other", DataHeader(2) + DataLine("00:00:00", {"+5.000"}, "01-12-2025") +
                                               DataLine("00:00:30", {"+6.000"}, "01-12-2025"));
    ASSERT_TRUE(::rename(qPrintable(state.AppFolder + "/other"), qPrintable(DataPath("12-2025-Data.txt"))) ==
                0);
    EXPECT_EQ(source.FollowStep(), TrendSource::Change::Reloaded);
    ASSERT_EQ(source.Data().Size(), 4);
    EXPECT_EQ(source.Data().Value(0, 2).Text() + source.Data().Value(0, 3).Text(), "5.0006.000");
}

// A far-future month (a wrong clock, or planted) does not stop the follow
// mode; a FIFO swapped in for a month file is named, never waited on.
TEST_F(ViewerFiles, FollowEveryFileThatChanges) {
    StoreScan("30-11-2025", "23:59:00", "   +1.000", "   +1.000");
    WriteBytes(DataPath("12-9999-Data.txt"), "");
    TrendSource source(QTimeZone::utc());
    ASSERT_TRUE(source.Open({state.AppFolder + "/datafiles"}));
    // One file changed before the last and one added: all read again in month order.
    StoreScan("30-11-2025", "23:59:30", "   +2.000", "   +2.000");
    StoreScan("01-12-2025", "00:00:00", "   +3.000", "   +3.000");
    EXPECT_NE(source.FollowStep(), TrendSource::Change::None);
    ASSERT_EQ(source.Data().Size(), 3);
    EXPECT_EQ(source.Data().Value(0, 1).Text() + source.Data().Value(0, 2).Text(), "2.0003.000");

    const QString month = DataPath("11-2025-Data.txt");
    ASSERT_TRUE(QFile::remove(month) && ::mkfifo(qPrintable(month), 0600) == 0);
    EXPECT_EQ(source.FollowStep(), TrendSource::Change::Reloaded);
    EXPECT_EQ(source.Errors(), QStringList{month + ": cannot open (is not a regular file)"});
}

// The file system's notifications: appends in a burst give one notice, a
// moment later; a link or a FIFO in the folder is never watched.
TEST_F(ViewerFiles, FollowWatchNoticesABurstOnceAndNoLinkOrFifo) {
    const QString folder = state.AppFolder + "/datafiles", month = DataPath("11-2025-Data.txt");
    WriteBytes(month, "");
    ASSERT_TRUE(QFile::link(month, DataPath("12-2025-Data.txt")) &&
                ::mkfifo(qPrintable(DataPath("01-2026-Data.txt")), 0600) == 0);
    FollowWatch watch;
    watch.Watch({folder, month, DataPath("12-2025-Data.txt"), DataPath("01-2026-Data.txt")});
    EXPECT_EQ(watch.Watched(), (QStringList{folder, month}));
    int notices = 0;
    QObject::connect(&watch, &FollowWatch::Changed, [&] { ++notices; });
    QFile file(month);
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write("a") == 1 && file.flush() && file.write("b") == 1);
    file.close();
    EXPECT_TRUE(WaitUntil([&] { return notices > 0; }, 2000));
    RunEventsFor(150);
    EXPECT_EQ(notices, 1);
}

// Past the record limit the newest files are read and the oldest named.
TEST_F(ViewerFiles, BeyondTheRecordLimitTheNewestFilesAreRead) {
    for (const QString date : {"05-01-2025", "05-02-2025", "06-02-2025", "05-03-2025"})
        StoreScan(date, "10:00:00", "   +1.000", "   +1.000");
    TrendSource source(QTimeZone::utc(), 3);
    EXPECT_FALSE(source.Open({state.AppFolder + "/datafiles"}));
    source.FollowStep(); // the files left out stay out
    EXPECT_EQ(source.Data().Size(), 3);
    EXPECT_EQ(source.Errors().join(""),
              "left out the oldest 1 files, 1 records (" + DataPath("01-2025-Data.txt") + " to " +
                  DataPath("01-2025-Data.txt") + "): more than 3 records are not held at once");
}

// The newest files that fit, by their sizes (160 bytes a record, the header
// aside; a file without a whole data record holds none): files left out,
// records kept, records left out.
TEST(RecordLimitTable, KeepsTheNewestFilesThatFit) {
    using L = std::tuple<const char*, std::vector<qint64>, qint64, RecordLimitChoice>;
    const L rows[] = {L{"AllFit", {480, 320}, 3, {0, 3, 0}}, L{"ExactlyAtTheLimit", {480, 480}, 4, {0, 4, 0}},
                      L{"OldestLeftOut", {480, 480, 320}, 3, {1, 3, 2}},
                      L{"NewestAloneTooLarge", {320, 960}, 4, {2, 0, 6}},
                      L{"EmptyAndTornFilesHoldNone", {0, 100, 319, 480}, 2, {0, 2, 0}}};
    for (const auto& [name, sizes, limit, want] : rows) {
        const RecordLimitChoice got = NewestWithin(sizes, limit);
        EXPECT_EQ(std::tie(got.leftOutFiles, got.keptRecords, got.leftOutRecords),
                  std::tie(want.leftOutFiles, want.keptRecords, want.leftOutRecords))
            << name;
    }
}

} // namespace
