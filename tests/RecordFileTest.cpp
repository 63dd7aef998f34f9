// Fixed-length records as bytes; failures and a full disk are covered through
// the data and set-up files built on them.
#include "common/RecordFile.h"

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
    EXPECT_EQ(ReadBytes(Path()),
              Record("first") + Record("tail") + Record("") + "fourth" + QByteArray(74, ' '));
}

TEST_F(RecordFileTest, OneBytePerCharacterInLatin1) {
    RecordFile f(10);
    ASSERT_TRUE(f.Open(Path())) << "a missing file is created";
    ASSERT_TRUE(f.Write(1, QString::fromUtf8("\xc2\xb5m \xe2\x82\xac OverlongText")));
    f.Close();
    // micro sign is Latin-1 (0xB5); the euro sign is not and becomes "?".
    EXPECT_EQ(ReadBytes(Path()), QByteArray("\xb5m ? Overl"));
}
