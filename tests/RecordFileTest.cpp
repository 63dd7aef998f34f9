#include "common/RecordFile.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

class RecordFileTest : public AppFolderTest {
  protected:
    QString Path() const { return d.AppFolder + "/records.txt"; }
};

TEST_F(RecordFileTest, OpeningAMissingFileCreatesItEmpty) {
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    f.Close();
    EXPECT_TRUE(QFile::exists(Path()));
    EXPECT_EQ(ReadBytes(Path()).size(), 0);
}

TEST_F(RecordFileTest, RecordsBeyondTheEndAndShortTailsReadAsBlanks) {
    WriteBytes(Path(), Record("first") + "short");
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    EXPECT_EQ(f.Read(1), QString::fromLatin1(Record("first")));
    EXPECT_EQ(f.Read(2), "short" + QString(75, ' '));
    EXPECT_EQ(f.Read(9), QString(80, ' '));
}

TEST_F(RecordFileTest, WritingPastTheEndFillsTheGapWithBlankRecords) {
    WriteBytes(Path(), Record("first") + "tail");
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    ASSERT_TRUE(f.Write(4, "fourth"));
    f.Close();
    const QByteArray bytes = ReadBytes(Path());
    ASSERT_EQ(bytes.size(), 4 * 80);
    EXPECT_EQ(bytes.mid(0, 80), Record("first"));
    EXPECT_EQ(bytes.mid(80, 80), "tail" + QByteArray(73, ' ') + "*\r\n");
    EXPECT_EQ(bytes.mid(160, 80), Record(""));
    EXPECT_EQ(bytes.mid(240, 80), "fourth" + QByteArray(74, ' '));
    EXPECT_FALSE(bytes.contains('\0'));
}

TEST_F(RecordFileTest, OneBytePerCharacterInLatin1) {
    RecordFile f(10);
    ASSERT_TRUE(f.Open(Path()));
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

    RecordFile full(80);
    if (full.Open("/dev/full")) {
        const FileOutcome written = full.Write(1, "data");
        EXPECT_FALSE(written);
    }
}

TEST_F(RecordFileTest, ADiskFullInTheMiddleOfARecordLeavesTheFileAsItWas) {
    const QByteArray before = Record("first") + Record("second");
    WriteBytes(Path(), before);
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    FileOutcome written;
    {
        FileSizeLimit full(before.size() + 30); // room for 30 bytes of the next record
        ASSERT_TRUE(full.Active());
        written = f.Write(3, "third");
    }
    EXPECT_FALSE(written);
    EXPECT_TRUE(written.message.contains("record 3")) << qPrintable(written.message);
    f.Close(); // nothing left in a buffer to come out late
    EXPECT_EQ(ReadBytes(Path()), before);
}

TEST_F(RecordFileTest, AFailedWriteOverAShortLastRecordLeavesWholeRecordsOnly) {
    const QByteArray whole = Record("first");
    WriteBytes(Path(), whole + "torn tail");
    RecordFile f(80);
    ASSERT_TRUE(f.Open(Path()));
    FileOutcome written;
    {
        FileSizeLimit full(whole.size() + 40);
        ASSERT_TRUE(full.Active());
        written = f.Write(2, "second");
    }
    EXPECT_FALSE(written);
    f.Close();
    EXPECT_EQ(ReadBytes(Path()), whole);
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
