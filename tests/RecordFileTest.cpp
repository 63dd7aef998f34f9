#include "common/RecordFile.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

class RecordFileTest : public AppFolderTest {
  protected:
    QString Path() const { return d.AppFolder + "/records.txt"; }
};

TEST_F(RecordFileTest, MissingBytesReadAsBlanksAndAreWrittenAsBlankRecords) {
    WriteBytes(Path(), Record("first") + "tail");
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    EXPECT_EQ(f.Read(2), "tail" + QString(76, ' '));
    EXPECT_EQ(f.Read(9), QString(80, ' '));
    ASSERT_TRUE(f.Write(4, "fourth"));
    f.Close();
    EXPECT_EQ(ReadBytes(Path()), Record("first") + "tail" + QByteArray(73, ' ') + "*\r\n" + Record("") +
                                     "fourth" + QByteArray(74, ' '));
}

TEST_F(RecordFileTest, OneBytePerCharacterInLatin1) {
    RecordFile f(10);
    ASSERT_TRUE(f.Open(Path())) << "a missing file is created";
    ASSERT_TRUE(f.Write(1, QString::fromUtf8("\xc2\xb5m \xe2\x82\xac OverlongText")));
    f.Close();
    // micro sign is Latin-1 (0xB5); the euro sign is not and becomes "?".
    EXPECT_EQ(ReadBytes(Path()), QByteArray("\xb5m ? Overl"));
}

TEST_F(RecordFileTest, FailuresAreReportedNotHidden) {
    WriteBytes(d.AppFolder + "/plainfile", "x");
    RecordFile f(80);
    const FileOutcome opened = f.Open(d.AppFolder + "/plainfile/records.txt");
    EXPECT_FALSE(opened);
    EXPECT_TRUE(opened.message.contains("plainfile"));
    EXPECT_FALSE(f.Write(1, "data"));
}

// A disk that fills up in the middle of a record, appending one or replacing
// a short last record: the file keeps whole records only.
TEST_F(RecordFileTest, ADiskFullInTheMiddleOfARecordLeavesWholeRecordsOnly) {
    const QByteArray whole = Record("first") + Record("second");
    for (const QByteArray& tail : {QByteArray(), QByteArray("torn tail")}) {
        WriteBytes(Path(), whole + tail);
        RecordFile f(80);
        ASSERT_TRUE(f.Open(Path()));
        FileOutcome written;
        {
            FileSizeLimit full(whole.size() + 30); // room for 30 bytes of the next record
            ASSERT_TRUE(full.Active());
            written = f.Write(3, "third");
        }
        EXPECT_FALSE(written);
        EXPECT_TRUE(written.message.contains("record 3")) << qPrintable(written.message);
        f.Close(); // nothing left in a buffer to come out late
        EXPECT_EQ(ReadBytes(Path()), whole) << "tail: " << tail.toStdString();
    }
}

TEST_F(RecordFileTest, AShortLastRecordIsCompletedKeepingItsBytes) {
    const QByteArray whole = Record("first");
    WriteBytes(Path(), whole + "torn tail");
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    {
        FileSizeLimit full(whole.size() + 40); // the completion does not fit
        ASSERT_TRUE(full.Active());
        EXPECT_FALSE(f.CompleteLastRecord());
    }
    EXPECT_EQ(ReadBytes(Path()), whole + "torn tail");
    ASSERT_TRUE(f.CompleteLastRecord());
    EXPECT_EQ(ReadBytes(Path()), whole + Record("torn tail"));
    ASSERT_TRUE(f.CompleteLastRecord()); // whole records: nothing to do
    EXPECT_EQ(ReadBytes(Path()).size(), 2 * 80);
}
