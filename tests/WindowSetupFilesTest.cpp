// Load and Save from the Channels & Settings window, and the message boxes.
#include "WindowTestSupport.h"

#include "config/GettingParameters.h"

class SetupCommandsTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteSetUp();
        OpenWindow();
    }
};

TEST_F(SetupCommandsTest, LoadShowsTheFilesAndSaveRewritesOnlyTheBoxesFieldsInTheirWidths) {
    // Values the window does not store the way the file holds them: a
    // right-aligned gain and a general value longer than one character.
    WriteBytes(SettingPath(ChannelParametersFile),
               ChannelFile({"      1.5", "2", "3", "4", "5", "6", "7", "80"},
                           {"0", "0", "0", "0", "0", "0", "0", "-8"}) +
                   Record("Trailer record"));
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{16, "5 extra"}, {17, "9"}, {21, "4"}}));
    form->Command1()->click();
    EXPECT_EQ(form->Text1(1)->text(), "1.5");
    EXPECT_EQ(form->Text2(8)->text(), "-8");
    EXPECT_EQ(form->Text5(4)->text(), "5 extra");
    EXPECT_EQ(form->Label9(5)->text(), "24 hours");
    // The channels are read first: their sensor type comes from the general
    // values read before this Load.
    EXPECT_EQ(d.ChannelParam[1][Declarations::SensorType], "2");
    EXPECT_EQ(window->Panel(4), "Com: 3") << "the status bar keeps the line of the start";

    QByteArray channels = ReadBytes(SettingPath(ChannelParametersFile));
    QByteArray general = ReadBytes(SettingPath(GeneralParametersFile));
    form->Text1(2)->setText("  1.23456789012");
    form->Text2(3)->setText("-0.5 ");
    form->Text5(5)->setText("4 ");
    form->Command2()->click();
    EXPECT_EQ(d.StorageRate, 9) << "Save does not apply the set-up";
    channels.replace(10 * 80 + 35, 9, "1.5      "); // gain of channel 1, left-aligned
    channels.replace(11 * 80 + 35, 9, "  1.23456"); // gain of channel 2, cut to nine characters
    channels.replace(12 * 80 + 45, 9, "-0.5     "); // offset of channel 3
    EXPECT_EQ(ReadBytes(SettingPath(ChannelParametersFile)), channels);
    general.replace(15 * 80 + 21, 56, "5" + QByteArray(55, ' ')); // only the first character stays
    general.replace(16 * 80 + 21, 56, "4" + QByteArray(55, ' '));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), general);

    form->Command1()->click();
    EXPECT_EQ(form->Text1(2)->text(), "1.23456");
    EXPECT_EQ(form->Label9(5)->text(), "10 minutes");
    EXPECT_EQ(std::tie(d.SerialLine, d.StorageRate), std::make_tuple(5, 4));
    EXPECT_TRUE(capture.messages.empty());
}

// Blank gains would zero every value during acquisition: a Load that cannot
// read keeps the set-up in use.
TEST_F(SetupCommandsTest, AnUnusableFolderIsReportedAndTheSetUpInUseStays) {
    form->Text1(1)->setText("2.5");
    const auto channelsBefore = d.ChannelParam;
    const auto generalBefore = d.GeneralValue;
    SpoilSettingFolder();
    for (const auto& [button, word] :
         {std::pair{form->Command2(), "saved"}, std::pair{form->Command1(), "loaded"}}) {
        capture.messages.clear();
        button->click();
        ASSERT_EQ(capture.messages.size(), 1u) << word;
        const TakenMessage& m = capture.messages[0];
        EXPECT_EQ(std::make_pair(m.icon, m.title), std::make_pair(QMessageBox::Warning, QString("TARVEK")));
        EXPECT_TRUE(m.text.contains(word) && m.text.contains("not a folder") &&
                    m.text.contains(QDir::toNativeSeparators(d.AppFolder + "/settingfiles")))
            << m.text.toStdString();
        EXPECT_EQ(d.ChannelParam, channelsBefore) << word;
        EXPECT_EQ(d.GeneralValue, generalBefore) << word;
        EXPECT_EQ(d.SerialLine, 3);
        EXPECT_EQ(form->Text1(1)->text(), "2.5") << "the operator's entries stay";
    }
    EXPECT_EQ(ReadBytes(d.AppFolder + "/settingfiles"), "not a folder");
}

TEST(MessageBoxes, AreShownWithoutHoldingUpTheCaller) {
    QWidget parent;
    ShowMessage(&parent, QMessageBox::Warning, "TARVEK", "a text");
    QMessageBox* box = parent.findChild<QMessageBox*>(); // up, and the call has returned
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "a text");
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    box->close();
}
