#include "acquisition/AcquisitionStatus.h"

#include "TestSupport.h"

TEST_F(AppFolderTest, StatusRecordKeepsItsTextAroundTheFlagAndBlanksTheRest) {
    QByteArray full;
    for (int i = 0; i < 80; ++i)
        full += char('0' + i % 75);
    WriteBytes(SettingPath(AcquisitionStatusFile), full + "second record stays");
    d.AcquisitionFlag = "0";
    ASSERT_TRUE(WriteAcquisitionStatus(d));
    const QByteArray after = ReadBytes(SettingPath(AcquisitionStatusFile));
    EXPECT_EQ(after.left(21), full.left(21));
    EXPECT_EQ(after.at(21), '0');
    EXPECT_EQ(after.mid(22, 21), full.mid(22, 21));
    EXPECT_EQ(after.mid(43, 37), QByteArray(37, ' '));
    EXPECT_EQ(after.mid(80), "second record stays");
}
