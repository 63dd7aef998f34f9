#include "app/Starting.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <span>

namespace {

QByteArray GeneralFile(const QByteArray& serialValue, const QByteArray& rateValue,
                       const QByteArray& sensor = "0") {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n) {
        const QByteArray value = n == 16 ? serialValue : n == 17 ? rateValue : n == 21 ? sensor : "v";
        bytes += Record(("Label " + QByteArray::number(n)).leftJustified(21, '.') + value);
    }
    return bytes;
}

} // namespace

TEST(GeneralDecode, OnlyTheFirstCharacterOfRecords16And17Counts) {
    struct Row {
        const char* value;
        int serialLine, storageRate;
    };
    const Row rows[] = {{"1", 1, 1},  {"8", 8, 8}, {"0", 1, 0},    {"9", 1, 9},
                        {"12", 1, 1}, {"x", 1, 0}, {"   4", 1, 0}, {"", 1, 0}};
    for (const Row& row : rows) {
        EXPECT_EQ(DecodeSerialLine(row.value), row.serialLine) << '"' << row.value << '"';
        EXPECT_EQ(DecodeStorageRate(row.value), row.storageRate) << '"' << row.value << '"';
    }
}

TEST_F(AppFolderTest, SavingGeneralParametersRewritesOnlyTheValuesOfRecords16And17) {
    const QByteArray before = GeneralFile("   4", "7") + "extra bytes after record 40";
    WriteBytes(SettingPath(GeneralParametersFile), before);
    ASSERT_TRUE(ReadGeneralParameters(d.AppFolder, d.SetUp));
    EXPECT_EQ(d.SetUp.GeneralLabel[16], "Label 16.............");
    EXPECT_EQ(d.SetUp.GeneralValue[16], "   4" + QString(52, ' ')); // untrimmed
    ASSERT_TRUE(SaveGeneralParameters(d.AppFolder, d.SetUp.GeneralLabel, "2.5", ""));

    QByteArray expected = before;
    expected.replace(15 * 80, 160,
                     "Label 16.............2" + QByteArray(55, ' ') + "*\r\n" + "Label 17............." +
                         QByteArray(56, ' ') + "*\r\n");
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), expected);
    // Saving does not apply the values; the next read does.
    EXPECT_EQ(d.SetUp.StorageRate, 7);
    ASSERT_TRUE(ReadGeneralParameters(d.AppFolder, d.SetUp));
    EXPECT_EQ(d.SetUp.SerialLine, 2);
    EXPECT_EQ(d.SetUp.StorageRate, 0);
}

TEST_F(AppFolderTest, ChannelFieldsComeFromFixedColumnsAndOnlyGainAndZeroAreSaved) {
    QByteArray before = Record("heading").repeated(10);
    for (int c = 1; c <= 8; ++c) // no terminators: saving writes them
        before += "Ch." + QByteArray::number(c) + " " +
                  ("  Pressure line " + QByteArray::number(c)).leftJustified(22) +
                  ";2;mBar; 1.250   ;  -100   ;1;  -5     ;   900   ;xyz";
    before += "bytes after the channels";
    WriteBytes(SettingPath(ChannelParametersFile), before);
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile("1", "1", "5xyz"));
    ASSERT_TRUE(ReadGeneralParameters(d.AppFolder, d.SetUp));
    ASSERT_TRUE(ReadChannelParameters(d.AppFolder, d.SetUp));
    const QStringList fields{"Pressure line 3", "5", "2", "mBar", "1.250", "-100", "1", "-5", "900"};
    for (int j = 1; j <= 9; ++j)
        EXPECT_EQ(d.SetUp.ChannelParam[3][j], fields[j - 1]) << "field " << j;
    EXPECT_EQ(d.SetUp.ChannelParam[8][Declarations::SensorType], "5"); // record 21 serves all eight
    EXPECT_TRUE(d.SetUp.ChannelParam[9][Declarations::Gain].isEmpty());

    ChannelTexts gains, zeros;
    for (int c = 0; c < 8; ++c) {
        gains[c] = QString("1.2345678%1").arg(c);
        zeros[c] = c == 0 ? QString() : QString::number(-c);
    }
    ASSERT_TRUE(SaveChannelParameters(d.AppFolder, gains, zeros));
    QByteArray expected = before;
    for (int r = 11; r <= 18; ++r)
        expected
            .replace((r - 1) * 80 + 35, 20,
                     "1.2345678;" +
                         (r == 11 ? QByteArray() : "-" + QByteArray::number(r - 11)).leftJustified(9) + ";")
            .replace(r * 80 - 3, 3, "*\r\n");
    EXPECT_EQ(ReadBytes(SettingPath(ChannelParametersFile)), expected);
    // The table follows the file only at the next read.
    EXPECT_EQ(d.SetUp.ChannelParam[1][Declarations::Gain], "1.250");
    ASSERT_TRUE(ReadChannelParameters(d.AppFolder, d.SetUp));
    EXPECT_EQ(d.SetUp.ChannelParam[2][Declarations::Gain], "1.2345678");
    EXPECT_EQ(d.SetUp.ChannelParam[2][Declarations::Zero], "-1");
}

TEST_F(AppFolderTest, DefaultSetupIsWholeOrAbsentDecodesAndNeverOverwrites) {
    FileOutcome installed;
    {
        FileSizeLimit full(1000); // a third of the general file
        ASSERT_TRUE(full.Active());
        installed = InstallDefaultSetup(d.AppFolder);
    }
    EXPECT_FALSE(installed);
    EXPECT_TRUE(installed.message.contains("generalparameters.txt")) << qPrintable(installed.message);
    EXPECT_EQ(QDir(d.AppFolder + "/settingfiles").entryList(QDir::Files | QDir::Hidden), QStringList());

    // With room again the next start installs the whole set-up.
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_TRUE(QFileInfo(d.AppFolder + "/datafiles").isDir());
    ASSERT_TRUE(ReadGeneralParameters(d.AppFolder, d.SetUp));
    ASSERT_TRUE(ReadChannelParameters(d.AppFolder, d.SetUp));
    EXPECT_EQ(d.SetUp.SerialLine, 1);
    EXPECT_EQ(d.SetUp.StorageRate, 1);
    for (const auto& row : std::span(d.SetUp.ChannelParam).subspan(1, 8))
        EXPECT_EQ(
            QStringList({row[Declarations::Gain], row[Declarations::Zero], row[Declarations::SensorType]}),
            QStringList({"1", "0", "0"}));

    WriteBytes(SettingPath(GeneralParametersFile), "operator's own");
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), "operator's own");
}
