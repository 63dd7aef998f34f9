// Reading data files: the counted records and the tally of the rest, and
// the stored time texts.
#include "data/DataFileReader.h"
#include "data/MonthFiles.h"
#include "data/StoredTime.h"

#include "support/TestSupport.h"

#include <tuple>

using namespace tarvek;

namespace {

// A good record with the byte at `at` changed.
QByteArray Changed(int at, char c) {
    QByteArray line = DataLine("10:00:00");
    line[at] = c;
    return line;
}

const QByteArray Three = DataLine("10:00:00") + DataLine("10:00:30") + DataLine("10:01:00");
const QByteArray ThreeRead = "10:00:00 1.000 1.000\n10:00:30 1.000 1.000\n10:01:00 1.000 1.000\n";

// The file: the time and channels 1 and 2 of each record read, then the
// tally (blank, not data, uncounted, torn) and whether the count is named.
TEST_F(AppFolderTest, DataFileReadGivesTheCountedRecordsAndTalliesTheRest) {
    using R = std::tuple<const char*, QByteArray, QByteArray>;
    const R rows[] = {
        R{"TornTail", DataHeader("    3") + Three + DataLine("10:01:30").left(70), ThreeRead + "0 0 0 1"},
        // The logger's rule: below the wrap every whole record counts; a
        // count that says otherwise is named (one behind is a store in flight).
        R{"BadHeader", DataHeader("  x12") + Three, ThreeRead + "0 0 0 0 named"},
        R{"CountBeyondTheFile", DataHeader("    7") + Three, ThreeRead + "0 0 0 0 named"},
        R{"CountDamagedLow", DataHeader("    1") + Three, ThreeRead + "0 0 0 0 named"},
        R{"StoreInFlight", DataHeader("    2") + Three, ThreeRead + "0 0 0 0"},
        R{"BlankGapRecord",
          DataHeader("    3") + DataLine("10:00:00") + Record("", 160) + DataLine("10:01:00"),
          "10:00:00 1.000 1.000\n10:01:00 1.000 1.000\n1 0 0 0"},
        R{"GapsAreNeverValues", DataHeader("    1") + DataLine("10:00:00", {" No Data ", " ======= "}),
          "10:00:00 NoData Invalid\n0 0 0 0"},
        R{"WideValuesReadExactly",
          DataHeader("    2") + DataLine("10:00:00", {"-12345.68", "+123456.7"}) +
              DataLine("10:00:30", {" -1234567", "+99999999"}),
          "10:00:00 -12345.68 123456.7\n10:00:30 -1234567 99999999\n0 0 0 0"},
        // Daylight saving time ends: the hour from 02:00 comes twice.
        R{"RepeatedHourKept",
          DataHeader("    3") + DataLine("02:59:30") + DataLine("02:00:00") + DataLine("02:30:00"),
          "02:59:30 1.000 1.000\n02:00:00 1.000 1.000\n02:30:00 1.000 1.000\n0 0 0 0"},
        // Each separator of the time stamp, the unit, the number's form.
        R{"ForeignLines",
          DataHeader("   15") + Record("Date;Time;Channel 1 exported by hand", 160) +
              DataLine("10:00:00", {"  +1.2.3 "}) + DataLine("10:00:00", {"  +1..000"}) +
              DataLine("10:00:00", {"  +12345."}) + DataLine("10:00:00", {"  +01.000"}) +
              DataLine("10:00:00", {"12.5"}) + DataLine("10:00:00", {}, "30-02-2025") + DataLine("25:00:00") +
              Changed(2, '.') + Changed(5, '.') + Changed(10, ',') + Changed(13, '.') + Changed(16, '.') +
              Changed(19, ',') + Changed(32, 'b'),
          "0 15 0 0"}};
    const auto text = [](StoredValue v) -> QByteArray {
        return !v.IsGap() ? v.Text() : QByteArray(v.IsNoData() ? "NoData" : "Invalid");
    };
    std::vector<StoredRecord> records;
    for (const auto& [name, file, want] : rows) {
        WriteBytes(DataPath("f.txt"), file);
        DataFileCursor cursor(DataPath("f.txt"));
        records.clear();
        ASSERT_EQ(cursor.ReadNew(OpenedFile::Open(DataPath("f.txt"), LinkPolicy::Refuse), records),
                  DataFileCursor::Outcome::Ok)
            << name << ": " << qPrintable(cursor.Error());
        QByteArray read;
        for (const StoredRecord& r : records)
            read +=
                StoredTimeText(r.localMs).mid(11) + ' ' + text(r.values[0]) + ' ' + text(r.values[1]) + '\n';
        const ReadTally& t = cursor.Tally();
        read += QByteArray::number(t.blank) + ' ' + QByteArray::number(t.notData) + ' ' +
                QByteArray::number(t.uncounted) + ' ' + QByteArray::number(t.torn);
        if (cursor.CountNote().contains("the header counts"))
            read += " named";
        EXPECT_EQ(read, want) << name << ": " << qPrintable(cursor.CountNote());
    }
    const OpenedFile opened = OpenedFile::Open(DataPath("f.txt"), LinkPolicy::Refuse); // then cut: it fails
    ASSERT_TRUE(QFile::resize(DataPath("f.txt"), 2 * 160));
    EXPECT_EQ(DataFileCursor(DataPath("f.txt")).ReadNew(opened, records), DataFileCursor::Outcome::Failed);
}

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
    for (const char* text : {"2025-03-05 10:00:00", "2025-02-30T10:00:00", "2025-03-05T24:00:00",
                             "2025-03-05T10:00:00Z", "x025-03-05T10:00:00", "2025-03-05T10:0x:00"})
        EXPECT_FALSE(ParseStoredTime(text)) << text;
}

// Calendar order across years; a month 13, another kind and a twin whose
// name ends in a line end are no month files of the kind asked for.
TEST_F(AppFolderTest, MonthFilesAreListedByTheirExactNamesInCalendarOrder) {
    for (const char* name : {"02-2026-Data.txt", "12-2025-Data.txt", "13-2025-Data.txt", "01-2026-Data.txt\n",
                             "01-2026-Events.txt", "x01-2026-Data.txt"})
        WriteBytes(DataPath(name), "");
    EXPECT_EQ(ListMonthFiles(DataPath("")), QStringList({"12-2025-Data.txt", "02-2026-Data.txt"}));
    EXPECT_EQ(ListMonthFiles(DataPath(""), MonthFileKind::Events), QStringList({"01-2026-Events.txt"}));
    EXPECT_EQ(MonthKey("/a/01-2026-Data.txt\n"), -1);
}

} // namespace
