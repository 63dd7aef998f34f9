// The month's data file: where each record goes whatever the file holds, on a
// full disk too, and the count's wrap after record 99999.
#include "common/RecordFile.h"
#include "data/StoringData.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <optional>

using namespace tarvek;

namespace {

// Records 1..last of the files the tests start from, each with its number
// for its time.
QByteArray Old(int last) {
    QByteArray bytes = DataLine("00000000", {}, "01-03-2008").repeated(last);
    for (int n = 1; n <= last; ++n)
        for (int d = 7, v = n; d >= 0; --d, v /= 10)
            bytes[(n - 1) * 160 + 11 + d] = char('0' + v % 10);
    return bytes;
}

// The record every test stores.
const QByteArray New =
    "05-03-2008;10:15:30;  +12.345 ; Bar ;   -0.500 ; Bar ;   +0.000 ; Bar ; No Data  ; Bar ;"
    " =======  ; Bar ;-12345.68 ; Bar ;+9999.999 ; Bar ;   +2.000 ; Bar ; *\r\n";
const QByteArray Torn = "05-03-2008;10:1";

class DataFileTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        state.ScanDate = "05-03-2008";
        state.ScanTime = "10:15:30";
        const char* values[8] = {"  +12.345", "   -0.500", "   +0.000", " No Data ",
                                 " ======= ", "-12345.68", "+9999.999", "   +2.000"};
        std::copy(values, values + 8, state.ChannelValue.begin() + 1);
    }
    QString File() const { return DataPath("03-2008-Data.txt"); }
    FileOutcome Store() {
        return WithStderr(stderr_, [&] { return StoreDataRecord(state); });
    }

    QString stderr_;
};

// Never over a stored record on a guess, never leaving a torn record behind.
// With a full disk the store fails naming the file, leaves nothing of its
// record, and the next store goes on from there.
struct StoreCase {
    const char* name;
    QByteArray before;      // the month's file (none when empty)
    QByteArray after;       // once the record is stored
    bool disagrees = false; // the store reports the count (once)
    qint64 fullAt = 0;      // a first store fails, no file growing past this size...
    QByteArray afterFailure{};
};

class DataFileStore : public DataFileTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(DataFileStore, GoesOnWhereTheFileLeavesOff) {
    const StoreCase& c = GetParam();
    if (!c.before.isEmpty())
        WriteBytes(File(), c.before);
    if (c.fullAt > 0) {
        std::optional<FileSizeLimit> full(c.fullAt);
        ASSERT_TRUE(full->Active());
        const FileOutcome failed = Store();
        full.reset();
        EXPECT_FALSE(failed);
        EXPECT_TRUE(failed.message.contains("03-2008-Data.txt") && stderr_.contains(failed.message))
            << qPrintable(stderr_);
        EXPECT_EQ(ReadBytes(File()), c.afterFailure);
    }
    ASSERT_TRUE(Store());
    EXPECT_EQ(ReadBytes(File()), c.after);
    EXPECT_EQ(stderr_.contains("03-2008-Data.txt: the header counts"), c.disagrees) << qPrintable(stderr_);
    ASSERT_TRUE(Store());
    EXPECT_EQ(stderr_, "") << "reported once";
}

const QByteArray Three = Old(3);

INSTANTIATE_TEST_SUITE_P(
    Files, DataFileStore,
    ::testing::Values(
        StoreCase{"NewFile", {}, DataHeader(1) + New},
        StoreCase{"CountOfTheLastRecord", DataHeader(3) + Three, DataHeader(4) + Three + New},
        // A count damaged, unreadable or beyond the end: after the last whole
        // record, never over a stored one. One behind is a store cut off
        // between its record and its count: that record is kept too.
        StoreCase{"CountDamagedLow", DataHeader(1) + Three, DataHeader(4) + Three + New, true},
        StoreCase{"CountOneBehind", DataHeader(2) + Three, DataHeader(4) + Three + New},
        StoreCase{"CountUnreadable", DataHeader("  abc") + Three, DataHeader(4) + Three + New, true},
        StoreCase{"CountNotWhole", DataHeader("  2.5") + Three, DataHeader(4) + Three + New, true},
        StoreCase{"CountBeyondTheEnd", DataHeader(4) + Three, DataHeader(4) + Three + New, true},
        StoreCase{"NoWholeRecord", "date;time;ch1\r\n05-03-2008;10:00:00;1\r\n", DataHeader(1) + New},
        // A torn last record is replaced; never counted.
        StoreCase{"TornTailAfterTheCount", DataHeader(3) + Three + Torn, DataHeader(4) + Three + New},
        StoreCase{"TornTailCounted", DataHeader(4) + Three + Torn, DataHeader(4) + Three + New, true},
        StoreCase{"FullDiskMidRecord", DataHeader(3) + Three, DataHeader(4) + Three + New, false,
                  4 * 160 + 100, DataHeader(3) + Three},
        StoreCase{"FullDiskOverATornTail", DataHeader(3) + Three + Torn, DataHeader(4) + Three + New, false,
                  4 * 160 + 35, DataHeader(3) + Three},
        StoreCase{"FullDiskOnANewFile", {}, DataHeader(1) + New, false, 200, ""},
        StoreCase{"FullDiskAfterATornHeader", "date;time;ch1\r\n", DataHeader(1) + New, false, 200,
                  "date;time;ch1\r\n"}),
    RowName);

// After the wrap the count rules: records past it are the oldest, and a torn
// tail there is completed, keeping its bytes.
TEST_F(DataFileTest, AfterRecord99999TheCountStartsAgainOverRecord2) {
    const QByteArray old = Old(99999);
    WriteBytes(File(), DataHeader(99999) + old);
    ASSERT_TRUE(Store());
    EXPECT_TRUE(ReadBytes(File()) == DataHeader(1) + New + old.mid(160));
    QFile file(File());
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write(Torn) == Torn.size());
    file.close();
    ASSERT_TRUE(Store());
    EXPECT_TRUE(ReadBytes(File()) == DataHeader(2) + New + New + old.mid(2 * 160) + Record(Torn, 160));
}

// Records are bytes: the micro sign is Latin-1 (0xB5); the euro sign is not
// and becomes "?"; a record is cut to its length.
TEST_F(DataFileTest, RecordFilesHoldOneBytePerCharacterInLatin1) {
    RecordFile f(10);
    ASSERT_TRUE(f.Open(state.AppFolder + "/records.txt")) << "a missing file is created";
    ASSERT_TRUE(f.Write(1, QString::fromUtf8("\xc2\xb5m \xe2\x82\xac OverlongText")));
    f.Close();
    EXPECT_EQ(ReadBytes(state.AppFolder + "/records.txt"), QByteArray("\xb5m ? Overl"));
}

} // namespace
