#include "data/StoringData.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QMap>

#include <functional>
#include <optional>

#include <string>

namespace {

const QByteArray EmptyBlocks = QByteArray("          ;     ;").repeated(8);

QByteArray Header(int count) {
    return "Lastrecord;   " + QByteArray::number(count).rightJustified(5, ' ') + ";" + EmptyBlocks + " *\r\n";
}

// A data record with the same text in all eight value positions.
QByteArray DataLine(const QByteArray& date, const QByteArray& time, const QByteArray& value) {
    return date + ";" + time + ";" + (value + " ; Bar ;").repeated(8) + " *\r\n";
}

// The shape every line of a data file has.
void ExpectDataFileLine(const QByteArray& line, int number) {
    ASSERT_EQ(line.size(), 160) << "line " << number;
    QList<int> semicolons;
    for (int i = 0; i < 157; ++i)
        if (line[i] == ';')
            semicolons.append(i + 1);
    QList<int> expected{11, 20};
    for (int k = 0; k < 8; ++k)
        expected << 31 + 17 * k << 37 + 17 * k;
    EXPECT_EQ(semicolons, expected) << "line " << number;
    EXPECT_EQ(line.mid(156), QByteArray(" *\r\n")) << "line " << number;
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
    void SetAllValues(const QString& value) {
        for (int k = 1; k <= 8; ++k)
            d.ChannelValue[k] = value;
    }
    // A file of `dataRecords` records after a header counting `count`.
    void WriteFile(const QString& name, int count, int dataRecords, const QByteArray& tail = {}) {
        QByteArray bytes = Header(count);
        for (int n = 1; n <= dataRecords; ++n)
            bytes += DataLine("01-03-2008", QByteArray::number(n).rightJustified(8, '0'), "   +1.000");
        WriteBytes(DataPath(name), bytes + tail);
    }
    static QByteArray Line(const QByteArray& file, int number) { return file.mid((number - 1) * 160, 160); }
    FileOutcome Store() {
        ::testing::internal::CaptureStderr();
        const FileOutcome outcome = StoreDataRecord(d);
        stderr_ = QString::fromStdString(::testing::internal::GetCapturedStderr());
        return outcome;
    }

    QString stderr_;
};

TEST_F(DataFileTest, FirstRecordOfAMonthStartsTheFileAndItsFolder) {
    ASSERT_FALSE(QFileInfo::exists(d.AppFolder + "/datafiles"));
    ASSERT_TRUE(Store());

    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    EXPECT_EQ(file, "Lastrecord;       1;          ;     ;          ;     ;          ;     ;          ;     ;"
                    "          ;     ;          ;     ;          ;     ;          ;     ; *\r\n"
                    "05-03-2008;10:15:30;  +12.345 ; Bar ;   -0.500 ; Bar ;   +0.000 ; Bar ; No Data  ; Bar ;"
                    " =======  ; Bar ;-12345.68 ; Bar ;+9999.999 ; Bar ;   +2.000 ; Bar ; *\r\n");
    ExpectDataFileLine(Line(file, 1), 1);
    ExpectDataFileLine(Line(file, 2), 2);
    EXPECT_EQ(d.FilePath, DataPath("03-2008-Data.txt"));
    EXPECT_EQ(d.DataRecord, QString::fromLatin1(Line(file, 2)));
    EXPECT_TRUE(stderr_.isEmpty()) << qPrintable(stderr_);
}

TEST_F(DataFileTest, EachStoreAppendsOneRecordAndRaisesTheCount) {
    ASSERT_TRUE(Store());
    Stamp("05-03-2008", "10:16:00");
    SetAllValues("   +7.000");
    ASSERT_TRUE(Store());

    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(file.size(), 3 * 160);
    EXPECT_EQ(Line(file, 1), Header(2));
    EXPECT_TRUE(Line(file, 2).startsWith("05-03-2008;10:15:30;  +12.345 ; Bar ;"));
    EXPECT_EQ(Line(file, 3), DataLine("05-03-2008", "10:16:00", "   +7.000"));
}

TEST_F(DataFileTest, AFailedPollStoresNoDataInEveryColumn) {
    SetAllValues(" No Data ");
    ASSERT_TRUE(Store());
    EXPECT_EQ(Line(ReadBytes(DataPath("03-2008-Data.txt")), 2),
              DataLine("05-03-2008", "10:15:30", " No Data "));
}

TEST_F(DataFileTest, TheMonthAndYearOfTheScanChooseTheFile) {
    Stamp("31-12-2008", "23:59:30");
    ASSERT_TRUE(Store());
    Stamp("01-01-2009", "00:00:00");
    ASSERT_TRUE(Store());

    const QByteArray december = ReadBytes(DataPath("12-2008-Data.txt"));
    const QByteArray january = ReadBytes(DataPath("01-2009-Data.txt"));
    ASSERT_EQ(december.size(), 2 * 160);
    ASSERT_EQ(january.size(), 2 * 160);
    EXPECT_EQ(Line(december, 1), Header(1));
    EXPECT_TRUE(Line(december, 2).startsWith("31-12-2008;23:59:30;"));
    EXPECT_EQ(Line(january, 1), Header(1));
    EXPECT_TRUE(Line(january, 2).startsWith("01-01-2009;00:00:00;"));
}

TEST_F(DataFileTest, AfterRecord99999TheCountStartsAgainOverRecord2) {
    WriteFile("03-2008-Data.txt", 99999, 99999);
    const QByteArray before = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(before.size(), 100000 * 160);

    ASSERT_TRUE(Store());
    QByteArray after = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Line(after, 1), Header(1));
    EXPECT_TRUE(Line(after, 2).startsWith("05-03-2008;10:15:30;"));
    EXPECT_EQ(after.mid(2 * 160), before.mid(2 * 160));

    Stamp("05-03-2008", "10:16:00");
    ASSERT_TRUE(Store());
    after = ReadBytes(DataPath("03-2008-Data.txt"));
    EXPECT_EQ(Line(after, 1), Header(2));
    EXPECT_TRUE(Line(after, 3).startsWith("05-03-2008;10:16:00;"));
    EXPECT_EQ(Line(after, 4), Line(before, 4));
    EXPECT_EQ(after.size(), before.size());
}

// Where the next record goes in a file holding a header and three data
// records, whatever its header says and whatever trails the last record.
struct ContinuationCase {
    const char* name;
    QByteArray countField; // positions 15 to 19 of the header
    QByteArray tail;       // bytes after the three data records
    int expectedCount;
};

class DataFileContinuation : public DataFileTest, public ::testing::WithParamInterface<ContinuationCase> {};

TEST_P(DataFileContinuation, NeverOverwritesStoredRecordsOnAGuess) {
    const ContinuationCase& c = GetParam();
    WriteFile("03-2008-Data.txt", 1, 3, c.tail);
    QByteArray before = ReadBytes(DataPath("03-2008-Data.txt"));
    before.replace(14, 5, c.countField);
    WriteBytes(DataPath("03-2008-Data.txt"), before);

    ASSERT_TRUE(Store());
    const QByteArray after = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(after.size() % 160, 0) << "a torn record is left in the file";
    EXPECT_EQ(Line(after, 1), Header(c.expectedCount));
    EXPECT_TRUE(Line(after, c.expectedCount + 1).startsWith("05-03-2008;10:15:30;"));
    // Records the new one did not replace are as they were.
    for (int n = 2; n <= 4; ++n) {
        if (n != c.expectedCount + 1) {
            EXPECT_EQ(Line(after, n), Line(before, n)) << "record " << n;
        }
    }
    EXPECT_EQ(after.size(), qMax<qsizetype>(4 * 160, (c.expectedCount + 1) * 160));
}

INSTANTIATE_TEST_SUITE_P(Headers, DataFileContinuation,
                         ::testing::Values(
                             // A count naming a whole record in the file is followed.
                             ContinuationCase{"CountOfTheLastRecord", "    3", {}, 4},
                             // Count unreadable: go on after the last whole record.
                             ContinuationCase{"CountBlank", "     ", {}, 4},
                             ContinuationCase{"CountLetters", "  abc", {}, 4},
                             ContinuationCase{"CountNegative", "   -2", {}, 4},
                             ContinuationCase{"CountFraction", "  2.5", {}, 4},
                             // Count beyond the file's end (a header written before its record).
                             ContinuationCase{"CountOneTooFar", "    4", {}, 4},
                             ContinuationCase{"CountFarBeyond", "  500", {}, 4},
                             // A torn last record is replaced, never counted.
                             ContinuationCase{"TornTailAfterCount", "    3", "05-03-2008;10:1", 4},
                             ContinuationCase{"TornTailCounted", "    4", "05-03-2008;10:1", 4},
                             ContinuationCase{"TornTailUnreadableCount", "  ???", QByteArray(159, 'x'), 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataFileTest, ATornTailBeyondAnEarlierCountIsMadeWhole) {
    WriteFile("03-2008-Data.txt", 1, 3, "05-03-2008;10:1");
    const QByteArray before = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_TRUE(Store());
    const QByteArray after = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(after.size(), 5 * 160);
    EXPECT_EQ(Line(after, 1), Header(2));
    EXPECT_TRUE(Line(after, 3).startsWith("05-03-2008;10:15:30;"));
    EXPECT_EQ(Line(after, 4), Line(before, 4));
    EXPECT_EQ(Line(after, 5), "05-03-2008;10:1" + QByteArray(142, ' ') + "*\r\n");
}

TEST_F(DataFileTest, AnUnreadableHeaderWithoutRecordsStartsAtOne) {
    WriteBytes(DataPath("03-2008-Data.txt"), "garbage");
    ASSERT_TRUE(Store());
    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(file.size(), 2 * 160);
    EXPECT_EQ(Line(file, 1), Header(1));
    EXPECT_TRUE(Line(file, 2).startsWith("05-03-2008;10:15:30;"));
}

// --- Failures: reported, and the file keeps whole records and a true count ---

TEST_F(DataFileTest, AFolderThatCannotBeCreatedIsReported) {
    WriteBytes(d.AppFolder + "/datafiles", "a plain file where the folder belongs");
    const FileOutcome outcome = Store();
    EXPECT_FALSE(outcome);
    EXPECT_TRUE(outcome.message.contains("datafiles")) << qPrintable(outcome.message);
    EXPECT_TRUE(stderr_.contains(outcome.message)) << qPrintable(stderr_);
    EXPECT_EQ(d.FilePath, DataPath("03-2008-Data.txt"));
}

TEST_F(DataFileTest, AFileThatCannotBeOpenedIsReported) {
    ASSERT_TRUE(QDir().mkpath(DataPath("03-2008-Data.txt"))); // a folder in its place
    const FileOutcome outcome = Store();
    EXPECT_FALSE(outcome);
    EXPECT_TRUE(outcome.message.contains("03-2008-Data.txt")) << qPrintable(outcome.message);
    EXPECT_TRUE(stderr_.contains("03-2008-Data.txt")) << qPrintable(stderr_);
}

TEST_F(DataFileTest, AFullDeviceIsReported) {
    ASSERT_TRUE(QDir().mkpath(d.AppFolder + "/datafiles"));
    ASSERT_TRUE(QFile::link("/dev/full", DataPath("03-2008-Data.txt")));
    const FileOutcome outcome = Store();
    EXPECT_FALSE(outcome);
    EXPECT_FALSE(stderr_.isEmpty());
}

TEST_F(DataFileTest, ADiskFullingUpMidRecordLeavesTheFileAsItWasAndTheNextStoreGoesOn) {
    WriteFile("03-2008-Data.txt", 2, 2);
    const QByteArray before = ReadBytes(DataPath("03-2008-Data.txt"));
    FileOutcome outcome;
    {
        FileSizeLimit full(before.size() + 100); // 100 bytes of the new record fit
        ASSERT_TRUE(full.Active());
        outcome = Store();
    }
    EXPECT_FALSE(outcome);
    EXPECT_TRUE(stderr_.contains("03-2008-Data.txt")) << qPrintable(stderr_);
    EXPECT_EQ(ReadBytes(DataPath("03-2008-Data.txt")), before);

    // Space again: the record goes where the failed one would have gone.
    ASSERT_TRUE(Store());
    const QByteArray after = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(after.size(), 4 * 160);
    EXPECT_EQ(Line(after, 1), Header(3));
    EXPECT_TRUE(Line(after, 4).startsWith("05-03-2008;10:15:30;"));
}

TEST_F(DataFileTest, ADiskFullOverATornTailLeavesOnlyWholeRecords) {
    WriteFile("03-2008-Data.txt", 2, 2, "05-03-2008;10:1");
    const QByteArray before = ReadBytes(DataPath("03-2008-Data.txt"));
    FileOutcome outcome;
    {
        FileSizeLimit full(before.size() + 20);
        ASSERT_TRUE(full.Active());
        outcome = Store();
    }
    EXPECT_FALSE(outcome);
    EXPECT_EQ(ReadBytes(DataPath("03-2008-Data.txt")), before.left(3 * 160));
}

// --- Faults around a store: the store reports what failed, every file keeps
// whole records and a count naming a record it holds, and once the fault is
// gone the next store goes on from there. ---

class DataFileFaults;

struct DataFault {
    const char* name;
    std::function<void(DataFileFaults&)> prepare; // files in place before the store
    qint64 limit;   // no file can grow past this many bytes during the store; -1: no limit
    bool stores;    // the store succeeds
    int countAfter; // the header count after a successful store
};

void PrintTo(const DataFault& c, std::ostream* os) {
    *os << c.name;
}

class DataFileFaults : public DataFileTest, public ::testing::WithParamInterface<DataFault> {
  public:
    using AppFolderTest::d;
    using AppFolderTest::DataPath;
    using DataFileTest::Stamp;
    using DataFileTest::WriteFile;

  protected:
    QMap<QString, QByteArray> Files() const {
        QMap<QString, QByteArray> files;
        const QDir folder(d.AppFolder + "/datafiles");
        for (const QString& name : folder.entryList(QDir::Files))
            files[name] = ReadBytes(folder.filePath(name));
        return files;
    }
    // Whole records, a readable count naming a record the file holds, and
    // the last record stored where the count says.
    void ExpectConsistent(const QString& storedIn) {
        for (const auto& [name, bytes] : Files().asKeyValueRange()) {
            ASSERT_EQ(bytes.size() % 160, 0) << qPrintable(name);
            if (bytes.isEmpty())
                continue;
            const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(bytes.left(160)));
            ASSERT_TRUE(count) << qPrintable(name);
            EXPECT_EQ(Line(bytes, 1), Header(*count)) << qPrintable(name);
            EXPECT_LE((*count + 1) * 160, bytes.size()) << qPrintable(name);
            if (name == storedIn) {
                EXPECT_EQ(Line(bytes, *count + 1), d.DataRecord.toLatin1()) << qPrintable(name);
            }
        }
    }
};

TEST_P(DataFileFaults, StoreAndGoOn) {
    const DataFault& c = GetParam();
    c.prepare(*this);
    const QMap<QString, QByteArray> before = Files();
    const QString name = DataFileName(d.ScanDate);

    FileOutcome outcome;
    {
        std::optional<FileSizeLimit> full;
        if (c.limit >= 0) {
            full.emplace(rlim_t(c.limit));
            ASSERT_TRUE(full->Active());
        }
        outcome = Store();
    }
    EXPECT_EQ(bool(outcome), c.stores) << qPrintable(outcome.message);
    if (outcome) {
        EXPECT_EQ(ReadHeaderCount(QString::fromLatin1(ReadBytes(DataPath(name)).left(160))), c.countAfter);
        ExpectConsistent(name);
    } else {
        EXPECT_TRUE(stderr_.contains(name)) << qPrintable(stderr_);
        // Nothing of the failed record is left; other files are untouched.
        QMap<QString, QByteArray> after = Files();
        if (!before.contains(name) && after.value(name).isEmpty())
            after.remove(name);
        EXPECT_EQ(after, before);
    }

    // The fault is gone: the next store goes on after whatever is there.
    d.ScanTime = "23:59:59";
    ASSERT_TRUE(Store()) << qPrintable(stderr_);
    ExpectConsistent(name);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DataFileFaults,
    ::testing::Values(
        // The whole application folder gone: created again with the data folder.
        DataFault{"AppFolderMissing", [](DataFileFaults& t) { t.d.AppFolder += "/moved/away"; }, -1, true, 1},
        // The disk full as a month's first record is stored: the new file stays
        // empty, the month before untouched.
        DataFault{"FullDiskOnANewMonthsFile",
                  [](DataFileFaults& t) {
                      t.Stamp("31-12-2008", "23:59:30");
                      ASSERT_TRUE(StoreDataRecord(t.d));
                      t.Stamp("01-01-2009", "00:00:00");
                  },
                  100, false, 0},
        // In place after the wrap, a full disk does not stop the store.
        DataFault{"FullDiskAfterTheWrap",
                  [](DataFileFaults& t) { t.WriteFile("03-2008-Data.txt", 99999, 99999); }, 100000 * 160,
                  true, 1},
        DataFault{"FullDiskOverATornTailBeyondTheCount",
                  [](DataFileFaults& t) { t.WriteFile("03-2008-Data.txt", 1, 3, "05-03-2008;10:1"); },
                  4 * 160 + 50, false, 0},
        // Headers a crash or a copy may leave: unreadable, so the store goes
        // on after the last whole record.
        DataFault{"HeaderNulFilled",
                  [](DataFileFaults& t) {
                      t.WriteFile("03-2008-Data.txt", 2, 2);
                      QByteArray bytes = ReadBytes(t.DataPath("03-2008-Data.txt"));
                      WriteBytes(t.DataPath("03-2008-Data.txt"),
                                 bytes.replace(0, 160, QByteArray(160, '\0')));
                  },
                  -1, true, 3},
        DataFault{
            "WholeFileNulFilled",
            [](DataFileFaults& t) { WriteBytes(t.DataPath("03-2008-Data.txt"), QByteArray(3 * 160, '\0')); },
            -1, true, 3},
        DataFault{"HeaderOfAnotherProgram",
                  [](DataFileFaults& t) {
                      WriteBytes(t.DataPath("03-2008-Data.txt"),
                                 "date;time;ch1;ch2\r\n05-03-2008;10:00:00;1;2\r\n");
                  },
                  -1, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- The header count as read back ---

struct CountCase {
    const char* name;
    QByteArray field; // positions 15 to 19
    int count;        // 0: no count
};

class HeaderCountTable : public ::testing::TestWithParam<CountCase> {};

TEST_P(HeaderCountTable, ReadsWholeCountsFrom1To99999) {
    const CountCase& c = GetParam();
    QByteArray header = Header(1);
    header.replace(14, 5, c.field);
    const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(header));
    EXPECT_EQ(count, c.count == 0 ? std::nullopt : std::optional<int>(c.count));
    EXPECT_FALSE(ReadHeaderCount(QString::fromLatin1(header.left(14))));
}

INSTANTIATE_TEST_SUITE_P(Fields, HeaderCountTable,
                         ::testing::Values(CountCase{"One", "    1", 1}, CountCase{"Largest", "99999", 99999},
                                           CountCase{"TrailingText", "  12x", 12},
                                           CountCase{"BlanksBetweenDigits", "1 2 3", 123},
                                           CountCase{"Blank", "     ", 0}, CountCase{"Negative", "   -7", 0},
                                           CountCase{"Fraction", "  2.5", 0},
                                           CountCase{"Overflow", "  1E9", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
