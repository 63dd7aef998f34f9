#include "data/StoringData.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QFileInfo>

#include <optional>
#include <string>

namespace {

// A header with `field` at positions 15 to 19, where the count goes.
QByteArray HeaderWith(const QByteArray& field) {
    return "Lastrecord;   " + field + ";" + QByteArray("          ;     ;").repeated(8) + " *\r\n";
}

QByteArray Header(int count) {
    return HeaderWith(QByteArray::number(count).rightJustified(5, ' '));
}

// A data record with the same text in all eight value positions.
QByteArray DataLine(const QByteArray& date, const QByteArray& time, const QByteArray& value) {
    return date + ";" + time + ";" + (value + " ; Bar ;").repeated(8) + " *\r\n";
}

QByteArray Line(const QByteArray& file, int number) {
    return file.mid((number - 1) * 160, 160);
}

// A month's file: a header with `countField`, `records` data records, then `tail`.
QByteArray MonthFile(const QByteArray& countField, int records = 3, const QByteArray& tail = {}) {
    QByteArray bytes = HeaderWith(countField);
    for (int n = 1; n <= records; ++n)
        bytes += DataLine("01-03-2008", QByteArray::number(n).rightJustified(8, '0'), "   +1.000");
    return bytes + tail;
}

class DataFileTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        Stamp("05-03-2008", "10:15:30");
        const char* values[8] = {"  +12.345", "   -0.500", "   +0.000", " No Data ",
                                 " ======= ", "-12345.68", "+9999.999", "   +2.000"};
        for (int k = 1; k <= 8; ++k)
            d.ChannelValue[k] = values[k - 1];
    }
    void Stamp(const QString& date, const QString& time) {
        d.ScanDate = date;
        d.ScanTime = time;
    }
    QString File() const { return DataPath("03-2008-Data.txt"); }
    FileOutcome Store() {
        return WithStderr(stderr_, [&] { return StoreDataRecord(d); });
    }

    QString stderr_;
};

TEST_F(DataFileTest, AMonthsFirstRecordStartsItsFileAndFolderAndTheNextIsAppended) {
    ASSERT_FALSE(QFileInfo::exists(d.AppFolder + "/datafiles"));
    ASSERT_TRUE(Store());
    const QByteArray file = ReadBytes(File());
    EXPECT_EQ(file, "Lastrecord;       1;          ;     ;          ;     ;          ;     ;          ;     ;"
                    "          ;     ;          ;     ;          ;     ;          ;     ; *\r\n"
                    "05-03-2008;10:15:30;  +12.345 ; Bar ;   -0.500 ; Bar ;   +0.000 ; Bar ; No Data  ; Bar ;"
                    " =======  ; Bar ;-12345.68 ; Bar ;+9999.999 ; Bar ;   +2.000 ; Bar ; *\r\n");
    EXPECT_EQ(DataFilePath(d), File());
    EXPECT_TRUE(stderr_.isEmpty()) << qPrintable(stderr_);

    Stamp("05-03-2008", "10:16:00");
    for (int k = 1; k <= 8; ++k)
        d.ChannelValue[k] = " No Data "; // a failed poll
    ASSERT_TRUE(Store());
    EXPECT_EQ(BuildDataRecord(d).toLatin1(), DataLine("05-03-2008", "10:16:00", " No Data "));
    EXPECT_EQ(ReadBytes(File()), Header(2) + Line(file, 2) + BuildDataRecord(d).toLatin1());
}

TEST_F(DataFileTest, TheMonthAndYearOfTheScanChooseTheFile) {
    Stamp("31-12-2008", "23:59:30");
    ASSERT_TRUE(Store());
    const QByteArray december = BuildDataRecord(d).toLatin1();
    Stamp("01-01-2009", "00:00:00");
    ASSERT_TRUE(Store());
    EXPECT_TRUE(december.startsWith("31-12-2008;23:59:30;"));
    EXPECT_EQ(ReadBytes(DataPath("12-2008-Data.txt")), Header(1) + december);
    EXPECT_EQ(ReadBytes(DataPath("01-2009-Data.txt")), Header(1) + BuildDataRecord(d).toLatin1());
}

TEST_F(DataFileTest, AfterRecord99999TheCountStartsAgainOverRecord2) {
    const QByteArray before = MonthFile("99999", 99999);
    WriteBytes(File(), before);
    ASSERT_TRUE(Store());
    Stamp("05-03-2008", "10:16:00");
    ASSERT_TRUE(Store());
    const QByteArray after = ReadBytes(File());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Line(after, 1), Header(2));
    EXPECT_TRUE(Line(after, 2).startsWith("05-03-2008;10:15:30;"));
    EXPECT_TRUE(Line(after, 3).startsWith("05-03-2008;10:16:00;"));
    EXPECT_EQ(after.mid(3 * 160), before.mid(3 * 160));
}

// Where the next record goes, whatever the file's header says and whatever
// trails its last record: never over a stored record on a guess, and never
// leaving a torn record behind. With a full disk the store fails, leaves
// nothing of its record, and the next one goes on from there.
struct StoreCase {
    const char* name;
    QByteArray file;   // the month's file before the store (none when empty)
    int count;         // the header count after the store
    qint64 fullAt = 0; // a first store fails, no file growing past this size
};

void PrintTo(const StoreCase& c, std::ostream* os) {
    *os << c.name;
}

class DataFileStore : public DataFileTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(DataFileStore, GoesOnWhereTheFileLeavesOff) {
    const StoreCase& c = GetParam();
    QByteArray before = c.file;
    if (!before.isEmpty())
        WriteBytes(File(), before);
    if (c.fullAt > 0) {
        FileOutcome outcome;
        {
            FileSizeLimit full(c.fullAt);
            ASSERT_TRUE(full.Active());
            outcome = Store();
        }
        EXPECT_FALSE(outcome);
        EXPECT_TRUE(outcome.message.contains("03-2008-Data.txt")) << qPrintable(outcome.message);
        EXPECT_TRUE(stderr_.contains(outcome.message)) << qPrintable(stderr_);
        // Nothing of the failed record is left; a torn tail may go with it.
        const QByteArray now = ReadBytes(File());
        EXPECT_TRUE(now == before || now == before.left(before.size() / 160 * 160));
        before = now;
    }
    ASSERT_TRUE(Store());

    // A torn data record the new one does not replace is completed, keeping its bytes.
    if (before.size() % 160 != 0 && before.size() > 160 && before.size() / 160 != c.count)
        before += Record("", 160).mid(before.size() % 160);
    const QByteArray after = ReadBytes(File());
    ASSERT_EQ(after.size(), qMax<qsizetype>(before.size() / 160, c.count + 1) * 160);
    EXPECT_EQ(Line(after, 1), Header(c.count));
    EXPECT_EQ(Line(after, c.count + 1), BuildDataRecord(d).toLatin1());
    for (int n = 2; n <= after.size() / 160; ++n)
        EXPECT_TRUE(n == c.count + 1 || Line(after, n) == Line(before, n)) << "record " << n;
}

const QByteArray Torn = "05-03-2008;10:1";

INSTANTIATE_TEST_SUITE_P(
    Files, DataFileStore,
    ::testing::Values(StoreCase{"CountOfTheLastRecord", MonthFile("    3"), 4},
                      StoreCase{"CountOfAnEarlierRecord", MonthFile("    1"), 2},
                      // Unreadable, or beyond the end (a header written before its
                      // record): after the last whole record.
                      StoreCase{"CountUnreadable", MonthFile("  abc"), 4},
                      StoreCase{"CountBeyondTheEnd", MonthFile("    4"), 4},
                      StoreCase{"NoWholeRecord", "date;time;ch1\r\n05-03-2008;10:00:00;1\r\n", 1},
                      // A torn last record is replaced, or completed, never counted.
                      StoreCase{"TornTailAfterTheCount", MonthFile("    3", 3, Torn), 4},
                      StoreCase{"TornTailCounted", MonthFile("    4", 3, Torn), 4},
                      StoreCase{"TornTailBeyondAnEarlierCount", MonthFile("    1", 3, Torn), 2},
                      StoreCase{"FullDiskMidRecord", MonthFile("    3"), 4, 4 * 160 + 100},
                      StoreCase{"FullDiskOverATornTail", MonthFile("    3", 3, Torn), 4, 4 * 160 + 35},
                      StoreCase{"FullDiskCompletingATornTail", MonthFile("    1", 3, Torn), 2, 4 * 160 + 50},
                      StoreCase{"FullDiskOnANewFile", {}, 1, 200}),
    RowName);

TEST(DataFileHeader, CountIsAWholeNumberFrom1To99999) {
    const std::pair<QByteArray, int> fields[] = {{"    1", 1},   {"99999", 99999}, {"  12x", 12},
                                                 {"1 2 3", 123}, {"     ", 0},     {"    0", 0},
                                                 {"   -7", 0},   {"  2.5", 0},     {"  1E9", 0}};
    for (const auto& [field, count] : fields) {
        EXPECT_EQ(ReadHeaderCount(QString::fromLatin1(HeaderWith(field))),
                  count ? std::optional(count) : std::nullopt)
            << field.data();
    }
    EXPECT_FALSE(ReadHeaderCount(QString::fromLatin1(Header(1).left(14))));
}

TEST_F(DataFileTest, AFolderThatCannotBeMadeIsReported) {
    WriteBytes(d.AppFolder + "/datafiles", "a plain file where the folder belongs");
    const FileOutcome outcome = Store();
    EXPECT_FALSE(outcome);
    EXPECT_TRUE(outcome.message.contains("datafiles")) << qPrintable(outcome.message);
    EXPECT_TRUE(stderr_.contains(outcome.message)) << qPrintable(stderr_);
}

} // namespace
