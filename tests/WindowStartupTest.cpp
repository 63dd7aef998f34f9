#include "WindowTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTimer>

TEST_F(WindowTest, StartsInStandByShowingTheSetUp) {
    WriteSetUp();
    // A status file saying "active" is read but not applied.
    WriteBytes(SettingPath(AcquisitionStatusFile), QByteArray(21, ' ') + "1" + QByteArray(55, ' ') + "*\r\n");
    OpenWindow();

    const QList<QAction*> menu = window->menuBar()->actions();
    ASSERT_EQ(menu.size(), 1);
    EXPECT_EQ(menu[0]->text(), "      Exit      ");
    EXPECT_EQ(menu[0]->menu(), nullptr) << "Exit acts on click, without a drop-down";
    const QStringList panels{"", "", "Ver. 05-02-08", "Com: 3", "  ", "", "Powered by: ORVELLA"};
    for (int n = 1; n <= 7; ++n)
        EXPECT_EQ(window->Panel(n), panels[n - 1]) << "panel " << n;

    EXPECT_EQ(form->windowTitle(), "Channels & Settings");
    ASSERT_EQ(window->MdiArea()->subWindowList().size(), 1);
    EXPECT_TRUE(window->MdiArea()->subWindowList()[0]->isMaximized());
    EXPECT_EQ(form->LampColour(), LampRed);
    EXPECT_FALSE(form->Command3()->isHidden()) << "Start shown";
    EXPECT_TRUE(form->Command4()->isHidden()) << "Stop hidden";
    EXPECT_EQ(form->Text1(4)->text(), "-3.25");
    EXPECT_EQ(form->Text2(4)->text(), "30") << "trimmed";
    EXPECT_EQ(form->Text1(8)->text(), "123456789");
    EXPECT_EQ(form->Text5(4)->text(), "3");
    EXPECT_EQ(form->Text5(5)->text(), "7");
    EXPECT_EQ(form->Label9(5)->text(), "6 hours");

    EXPECT_TRUE(window->Timer1()->isActive());
    EXPECT_FALSE(window->TimerTimeoutCom()->isActive());
    EXPECT_TRUE(capture.messages.empty());
    window->ClockTick();
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");

    // The MDI area would append the maximised child's title; the frame keeps its own.
    window->show();
    EXPECT_EQ(window->windowTitle(), " TARVEK     Data  Acqusition  System  ");
}

TEST_F(WindowTest, StorageRateNameFollowsTheTextShownNotTheDecodedRate) {
    WriteSetUp("8", "10");
    OpenWindow();
    EXPECT_EQ(form->Text5(5)->text(), "10");
    EXPECT_EQ(form->Label9(5)->text(), "") << "the decoded rate is 1, named \"30 seconds\"";
}

TEST_F(WindowTest, UnreadableSetUpIsReportedOnceAndStartUpGoesOn) {
    SpoilSettingFolder();
    OpenWindow();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& m = capture.messages[0];
    EXPECT_EQ(m.icon, QMessageBox::Warning);
    EXPECT_EQ(m.title, "TARVEK");
    EXPECT_TRUE(m.text.contains("settingfiles") && m.text.contains("not a folder")) << m.text.toStdString();
    EXPECT_EQ(window->Panel(4), "Com: 1");
    EXPECT_EQ(form->Label9(5)->text(), "Off");
    EXPECT_FALSE(form->Command3()->isHidden());
    EXPECT_TRUE(window->Timer1()->isActive());
}

TEST_F(WindowTest, ActivationFillsTheWindowOnlyOnceAndItCannotBeClosed) {
    WriteSetUp();
    OpenWindow();
    // The operator edits a box; acquisition shows Stop.
    form->Text1(1)->setText("9.75");
    form->Command3()->hide();
    form->Command4()->show();

    // The frame re-activates its child whenever it regains the focus.
    QMdiArea* area = window->MdiArea();
    QMdiSubWindow* child = area->subWindowList()[0];
    area->setActiveSubWindow(nullptr);
    area->setActiveSubWindow(child);
    form->Activate();
    window->Load();
    EXPECT_EQ(form->Text1(1)->text(), "9.75");
    EXPECT_TRUE(form->Command3()->isHidden());
    EXPECT_FALSE(form->Command4()->isHidden());

    area->closeAllSubWindows();
    EXPECT_FALSE(form->close());
    ASSERT_EQ(area->subWindowList().size(), 1);
    EXPECT_EQ(area->subWindowList()[0]->widget(), form);
}

TEST(FrameCentring, HalfTheDifferenceRoundedDown) {
    EXPECT_EQ(CentredLeft(1024, 800), 112);
    EXPECT_EQ(CentredLeft(100, 111), -6);
}

TEST_F(WindowTest, TheLampTellsAssistiveTechnologyItsColour) {
    WriteSetUp();
    OpenWindow();
    const std::pair<int, const char*> colours[] = {
        {LampYellow, "yellow"}, {LampGreen, "green"}, {LampRed, "red"}};
    for (const auto& [value, word] : colours) {
        form->SetLampColour(value);
        EXPECT_EQ(form->findChild<QWidget*>("Shape1")->accessibleDescription(), word);
    }
}
