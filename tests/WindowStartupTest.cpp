// The main window as it opens on a set-up, a spoilt one or none.
#include "WindowTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTimer>

TEST_F(WindowTest, StartsInStandByShowingTheSetUpAndTheLampsColourInWords) {
    WriteSetUp();
    // A status file saying "active" is read but not applied.
    WriteBytes(SettingPath(AcquisitionStatusFile), QByteArray(21, ' ') + "1" + QByteArray(55, ' ') + "*\r\n");
    OpenWindow();

    const QList<QAction*> menu = window->menuBar()->actions();
    ASSERT_EQ(menu.size(), 1);
    EXPECT_EQ(menu[0]->text(), "      Exit      ");
    EXPECT_EQ(menu[0]->menu(), nullptr) << "Exit acts on click, without a drop-down";
    QStringList panels;
    for (int n = 1; n <= 7; ++n)
        panels << window->Panel(n);
    EXPECT_EQ(panels, (QStringList{"", "", "Ver. 05-02-08", "Com: 3", "  ", "", "Powered by: ORVELLA"}));
    EXPECT_EQ(form->windowTitle(), "Channels & Settings");
    EXPECT_TRUE(window->MdiArea()->subWindowList().value(0)->isMaximized());
    EXPECT_EQ(form->LampColour(), LampRed);
    EXPECT_FALSE(form->Command3()->isHidden()) << "Start shown";
    EXPECT_TRUE(form->Command4()->isHidden()) << "Stop hidden";
    EXPECT_EQ((QStringList{form->Text1(4)->text(), form->Text2(4)->text(), form->Text1(8)->text(),
                           form->Text5(4)->text(), form->Text5(5)->text(), form->Label9(5)->text()}),
              (QStringList{"-3.25", "30", "123456789", "3", "7", "6 hours"}));
    EXPECT_TRUE(window->Timer1()->isActive());
    EXPECT_TRUE(capture.messages.empty());
    // The MDI area would append the maximised child's title; the frame keeps its own.
    window->show();
    EXPECT_EQ(window->windowTitle(), " TARVEK     Data  Acqusition  System  ");

    for (const auto& [value, word] :
         {std::pair{LampYellow, "yellow"}, {LampGreen, "green"}, {LampRed, "red"}}) {
        form->SetLampColour(value);
        EXPECT_EQ(form->findChild<QWidget*>("Shape1")->accessibleDescription(), word);
    }
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
    EXPECT_EQ(std::make_pair(m.icon, m.title), std::make_pair(QMessageBox::Warning, QString("TARVEK")));
    EXPECT_TRUE(m.text.contains("settingfiles") && m.text.contains("not a folder")) << m.text.toStdString();
    EXPECT_EQ(window->Panel(4), "Com: 1");
    EXPECT_EQ(form->Label9(5)->text(), "Off");
    EXPECT_TRUE(window->Timer1()->isActive());
}

TEST_F(WindowTest, ActivationFillsTheWindowOnlyOnceAndItCannotBeClosed) {
    WriteSetUp();
    OpenWindow();
    form->Text1(1)->setText("9.75"); // the operator edits a box; acquisition shows Stop
    form->Command3()->hide();
    form->Command4()->show();
    // The frame re-activates its child whenever it regains the focus.
    QMdiArea* area = window->MdiArea();
    area->setActiveSubWindow(nullptr);
    area->setActiveSubWindow(area->subWindowList()[0]);
    form->Activate();
    window->Load();
    EXPECT_EQ(form->Text1(1)->text(), "9.75");
    EXPECT_TRUE(form->Command3()->isHidden());

    area->closeAllSubWindows();
    EXPECT_FALSE(form->close());
    ASSERT_EQ(area->subWindowList().size(), 1);
    EXPECT_EQ(area->subWindowList()[0]->widget(), form);
}
