#include "app/Starting.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

namespace {

QByteArray GeneralFile(const QByteArray& serialValue, const QByteArray& rateValue,
                       const QByteArray& sensorValue = "0") {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n) {
        QByteArray label = QByteArray("Label ") + QByteArray::number(n);
        label.append(QByteArray(21 - label.size(), '.'));
        const QByteArray value = n == 16 ? serialValue : n == 17 ? rateValue : n == 21 ? sensorValue : "v";
        bytes += Record(label + value);
    }
    return bytes;
}

} // namespace

struct DecodeCase {
    const char* name;
    const char* value;
    int serialLine;
    int storageRate;
};

class GeneralDecodeTable : public AppFolderTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(GeneralDecodeTable, OnlyTheFirstCharacterOfTheValueCounts) {
    const DecodeCase& c = GetParam();
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile(c.value, c.value));
    ASSERT_TRUE(ReadGeneralParameters(d));
    EXPECT_EQ(d.SerialLine, c.serialLine);
    EXPECT_EQ(d.StorageRate, c.storageRate);
}

INSTANTIATE_TEST_SUITE_P(Records16And17, GeneralDecodeTable,
                         ::testing::Values(DecodeCase{"Three", "3", 3, 3}, DecodeCase{"One", "1", 1, 1},
                                           DecodeCase{"Eight", "8", 8, 8}, DecodeCase{"Zero", "0", 1, 0},
                                           DecodeCase{"Nine", "9", 1, 9}, DecodeCase{"Twelve", "12", 1, 1},
                                           DecodeCase{"Seven", "7", 7, 7}, DecodeCase{"Letter", "x", 1, 0},
                                           DecodeCase{"LeadingBlanks", "   4", 1, 0},
                                           DecodeCase{"Empty", "", 1, 0}, DecodeCase{"Minus", "-3", 1, 0},
                                           DecodeCase{"Point", ".5", 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppFolderTest, GeneralReadKeepsLabelsAndValuesUntrimmed) {
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile("   4", "7"));
    ASSERT_TRUE(ReadGeneralParameters(d));
    EXPECT_EQ(d.GeneralLabel[16], "Label 16.............");
    EXPECT_EQ(d.GeneralValue[16], "   4" + QString(52, ' '));
    EXPECT_EQ(d.GeneralValue[16].size(), 56);
    EXPECT_EQ(d.FilePath, SettingPath(GeneralParametersFile));
}

TEST_F(AppFolderTest, SavingGeneralParametersRewritesOnlyTheValuesOfRecords16And17) {
    const QByteArray before = GeneralFile("3", "7") + "extra bytes after record 40";
    WriteBytes(SettingPath(GeneralParametersFile), before);
    ASSERT_TRUE(ReadGeneralParameters(d));
    ASSERT_TRUE(SaveGeneralParameters(d, "2.5", ""));

    const QByteArray after = ReadBytes(SettingPath(GeneralParametersFile));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.mid(15 * 80, 80),
              "Label 16............." + QByteArray("2") + QByteArray(55, ' ') + "*\r\n");
    EXPECT_EQ(after.mid(16 * 80, 80), "Label 17............." + QByteArray(56, ' ') + "*\r\n");
    QByteArray expected = before;
    expected.replace(15 * 80, 160, after.mid(15 * 80, 160));
    EXPECT_EQ(after, expected) << "bytes outside records 16 and 17 changed";

    // Saving does not apply the values; the next read does.
    EXPECT_EQ(d.SerialLine, 3);
    EXPECT_EQ(d.StorageRate, 7);
    ASSERT_TRUE(ReadGeneralParameters(d));
    EXPECT_EQ(d.SerialLine, 2);
    EXPECT_EQ(d.StorageRate, 0);
}

TEST_F(AppFolderTest, SensorTypeComesFromGeneralRecord21) {
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile("1", "1", "5xyz"));
    ASSERT_TRUE(ReadGeneralParameters(d));
    ASSERT_TRUE(ReadChannelParameters(d));
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(d.ChannelParam[c][Declarations::SensorType], "5");

    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile("1", "1", " 5"));
    ASSERT_TRUE(ReadGeneralParameters(d));
    ASSERT_TRUE(ReadChannelParameters(d));
    EXPECT_EQ(d.ChannelParam[1][Declarations::SensorType], "");
}

TEST_F(AppFolderTest, ChannelFieldsAreTrimmedFromTheirFixedColumns) {
    QByteArray file;
    for (int r = 1; r <= 10; ++r)
        file += Record("heading " + QByteArray::number(r));
    for (int c = 1; c <= 8; ++c)
        file += Record("Ch." + QByteArray::number(c) + " " +
                       QByteArray("  Pressure line " + QByteArray::number(c)).leftJustified(22, ' ') +
                       ";2;mBar; 1.250   ;  -100   ;1;  -5     ;   900   ;");
    WriteBytes(SettingPath(ChannelParametersFile), file);
    ASSERT_TRUE(ReadChannelParameters(d));
    const auto& row = d.ChannelParam[3];
    EXPECT_EQ(row[Declarations::Description], "Pressure line 3");
    EXPECT_EQ(row[Declarations::Decimals], "2");
    EXPECT_EQ(row[Declarations::Unit], "mBar");
    EXPECT_EQ(row[Declarations::Gain], "1.250");
    EXPECT_EQ(row[Declarations::Zero], "-100");
    EXPECT_EQ(row[Declarations::Active], "1");
    EXPECT_EQ(row[Declarations::AlarmMin], "-5");
    EXPECT_EQ(row[Declarations::AlarmMax], "900");
    EXPECT_TRUE(d.ChannelParam[9][Declarations::Gain].isEmpty());
}

TEST_F(AppFolderTest, SavingChannelsRewritesOnlyGainZeroAndTerminator) {
    QByteArray before;
    for (int r = 1; r <= 20; ++r)
        before += QByteArray(80, char('A' + r)); // every byte its own, no terminators
    WriteBytes(SettingPath(ChannelParametersFile), before);
    ChannelTexts gains, zeros;
    for (int c = 0; c < 8; ++c) {
        gains[c] = QString("1.2345678%1").arg(c);
        zeros[c] = c == 0 ? QString() : QString::number(-c);
    }
    ASSERT_TRUE(SaveChannelParameters(d, gains, zeros));

    const QByteArray after = ReadBytes(SettingPath(ChannelParametersFile));
    ASSERT_EQ(after.size(), before.size());
    for (int r = 1; r <= 20; ++r) {
        const QByteArray rec = after.mid((r - 1) * 80, 80);
        const QByteArray old = before.mid((r - 1) * 80, 80);
        if (r < 11 || r > 18) {
            EXPECT_EQ(rec, old) << "record " << r;
            continue;
        }
        EXPECT_EQ(rec.left(35), old.left(35));
        EXPECT_EQ(rec.mid(35, 10), "1.2345678;");
        EXPECT_EQ(rec.mid(45, 10), r == 11 ? QByteArray(9, ' ') + ";"
                                           : ("-" + QByteArray::number(r - 11)).leftJustified(9, ' ') + ";");
        EXPECT_EQ(rec.mid(55, 22), old.mid(55, 22));
        EXPECT_EQ(rec.right(3), "*\r\n");
    }
    // The table follows the file only at the next read.
    EXPECT_TRUE(d.ChannelParam[1][Declarations::Gain].isEmpty());
    ASSERT_TRUE(ReadChannelParameters(d));
    EXPECT_EQ(d.ChannelParam[1][Declarations::Gain], "1.2345678");
    EXPECT_EQ(d.ChannelParam[1][Declarations::Zero], "");
}

TEST_F(AppFolderTest, DefaultSetupDecodesAndNeverOverwrites) {
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)).size(), 40 * 80);
    EXPECT_EQ(ReadBytes(SettingPath(ChannelParametersFile)).size(), 18 * 80);
    EXPECT_TRUE(QFileInfo(d.AppFolder + "/datafiles").isDir());
    FillNameTables(d);
    ASSERT_TRUE(ReadGeneralParameters(d));
    ASSERT_TRUE(ReadChannelParameters(d));
    EXPECT_EQ(d.SerialLine, 1);
    EXPECT_EQ(d.StorageRate, 1);
    for (int c = 1; c <= 8; ++c) {
        EXPECT_EQ(d.ChannelParam[c][Declarations::Gain], "1");
        EXPECT_EQ(d.ChannelParam[c][Declarations::Zero], "0");
        EXPECT_EQ(d.ChannelParam[c][Declarations::SensorType], "0");
    }

    WriteBytes(SettingPath(GeneralParametersFile), "operator's own");
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), "operator's own");
}

TEST_F(AppFolderTest, DefaultSetupOnAFullDiskLeavesNoPartialFile) {
    FileOutcome installed;
    {
        FileSizeLimit full(1000); // a third of the general file
        ASSERT_TRUE(full.Active());
        installed = InstallDefaultSetup(d.AppFolder);
    }
    EXPECT_FALSE(installed);
    EXPECT_TRUE(installed.message.contains("generalparameters.txt")) << qPrintable(installed.message);
    EXPECT_EQ(QDir(d.AppFolder + "/settingfiles").entryList(QDir::Files | QDir::Hidden), QStringList());

    // With room again the next start installs the whole file.
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)).size(), 40 * 80);
}

TEST(StorageRateNames, TableAndCaptions) {
    Declarations d;
    FillNameTables(d);
    EXPECT_EQ(d.StorageRateName[0], "Off");
    EXPECT_EQ(d.StorageRateName[1], "30 seconds");
    EXPECT_EQ(d.StorageRateName[7], "6 hours");
    EXPECT_EQ(d.StorageRateName[9], "24 hours");
    EXPECT_EQ(d.StorageRateName[10], "");
    EXPECT_EQ(StorageRateCaption(d, "1.5"), "1 minute");
    EXPECT_EQ(StorageRateCaption(d, "2.5"), "1 minute");
    EXPECT_EQ(StorageRateCaption(d, "10"), "");
    EXPECT_EQ(StorageRateCaption(d, "-3"), "");
    EXPECT_EQ(StorageRateCaption(d, "1e999"), "");
    EXPECT_EQ(ComPanelText(1), "Com: 1");
    EXPECT_EQ(ComPanelText(12), "Com: 12");
    EXPECT_EQ(ComPanelText(-2), "Com:-2");
}
