// The set-up files byte for byte: what is read from which columns, what a save
// rewrites (the window's Save and the fuzz target cover the general file), and
// the default set-up.
#include "app/Starting.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

TEST(GeneralDecode, OnlyTheFirstCharacterOfRecords16And17Counts) {
    const std::tuple<const char*, int, int> rows[] = {{"1", 1, 1},  {"8", 8, 8}, {"0", 1, 0},    {"9", 1, 9},
                                                      {"12", 1, 1}, {"x", 1, 0}, {"   4", 1, 0}, {"", 1, 0}};
    for (const auto& [value, serialLine, storageRate] : rows)
        EXPECT_EQ(std::make_pair(DecodeSerialLine(value), DecodeStorageRate(value)),
                  std::make_pair(serialLine, storageRate))
            << '"' << value << '"';
}

TEST_F(AppFolderTest, ChannelFieldsComeFromFixedColumnsAndOnlyGainAndZeroAreSaved) {
    QByteArray before = Record("heading").repeated(10);
    for (int c = 1; c <= 8; ++c) // no terminators: saving writes them
        before += "Ch." + QByteArray::number(c) + "   Pressure line " + QByteArray::number(c) +
                  "     ;2;mBar; 1.250   ;  -100   ;1;  -5     ;   900   ;xyz";
    before += "bytes after the channels";
    WriteBytes(SettingPath(ChannelParametersFile), before);
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{21, "5xyz"}}));
    ASSERT_TRUE(ReadGeneralParameters(d) && ReadChannelParameters(d));
    EXPECT_EQ(QStringList(d.ChannelParam[3].begin() + 1, d.ChannelParam[3].begin() + 10),
              (QStringList{"Pressure line 3", "5", "2", "mBar", "1.250", "-100", "1", "-5", "900"}));
    EXPECT_EQ(d.ChannelParam[8][Declarations::SensorType], "5"); // record 21 serves all eight

    ChannelTexts gains, zeros;
    for (int c = 0; c < 8; ++c) {
        gains[c] = QString("1.2345678%1").arg(c);
        zeros[c] = c == 0 ? QString() : QString::number(-c);
    }
    ASSERT_TRUE(SaveChannelParameters(d, gains, zeros));
    for (int r = 11; r <= 18; ++r)
        before
            .replace((r - 1) * 80 + 35, 20,
                     "1.2345678;" +
                         QByteArray(r == 11 ? "" : "-" + QByteArray::number(r - 11)).leftJustified(9) + ";")
            .replace(r * 80 - 3, 3, "*\r\n");
    EXPECT_EQ(ReadBytes(SettingPath(ChannelParametersFile)), before);
    // The table follows the file only at the next read.
    EXPECT_EQ(d.ChannelParam[2][Declarations::Gain], "1.250");
    ASSERT_TRUE(ReadChannelParameters(d));
    EXPECT_EQ(d.ChannelParam[2][Declarations::Gain], "1.2345678");
    EXPECT_EQ(d.ChannelParam[2][Declarations::Zero], "-1");
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
    ASSERT_TRUE(ReadGeneralParameters(d) && ReadChannelParameters(d));
    EXPECT_EQ(std::tie(d.SerialLine, d.StorageRate), std::make_tuple(1, 1));
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(QStringList({d.ChannelParam[c][Declarations::Gain], d.ChannelParam[c][Declarations::Zero],
                               d.ChannelParam[c][Declarations::SensorType]}),
                  QStringList({"1", "0", "0"}));

    WriteBytes(SettingPath(GeneralParametersFile), "operator's own");
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), "operator's own");
}
