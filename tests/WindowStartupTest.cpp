#include "WindowTestSupport.h"

#include "app/Starting.h"

#include <QAccessible>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

TEST_F(WindowTest, StartsInStandByShowingTheSetUp) {
    WriteSetUp();
    Start();

    EXPECT_EQ(window->windowTitle(), " TARVEK     Data  Acqusition  System  ");
    EXPECT_EQ(window->windowTitle().size(), 38);
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
    EXPECT_EQ(form->LampColour(), 255);
    EXPECT_FALSE(form->Command3()->isHidden()) << "Start shown";
    EXPECT_TRUE(form->Command4()->isHidden()) << "Stop hidden";

    const QStringList gains{"1.5", "", "2", "-3.25", "4", "5", "6", "123456789"};
    const QStringList zeros{"0", "-10", "20", "30", "40", "50", "60", "70"};
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(form->Text1(n)->text(), gains[n - 1]) << "channel " << n;
        EXPECT_EQ(form->Text2(n)->text(), zeros[n - 1]) << "channel " << n;
        EXPECT_EQ(form->Label2(n)->text(), "") << "channel " << n;
    }
    EXPECT_EQ(form->Text5(4)->text(), "3");
    EXPECT_EQ(form->Text5(5)->text(), "7");
    EXPECT_EQ(form->Label9(5)->text(), "6 hours");

    EXPECT_TRUE(window->Timer1()->isActive());
    EXPECT_EQ(window->Timer1()->interval(), 200);
    EXPECT_FALSE(window->TimerTimeoutCom()->isActive());
    EXPECT_EQ(window->TimerTimeoutCom()->interval(), 2000);
    EXPECT_TRUE(window->TimerTimeoutCom()->isSingleShot());
    EXPECT_EQ(window->TimerTimeoutCom()->timerType(), Qt::PreciseTimer);

    EXPECT_TRUE(d.AcquisitionFlag.isEmpty());
    EXPECT_EQ(d.StorageRateName[0], "Off");
    EXPECT_TRUE(QFileInfo::exists(SettingPath(AcquisitionStatusFile))) << "a missing status file is created";
    EXPECT_TRUE(capture.messages.empty());

    // The MDI area would append the maximised child's title; the frame keeps its own.
    window->show();
    EXPECT_EQ(window->windowTitle(), " TARVEK     Data  Acqusition  System  ");
}

TEST_F(WindowTest, StatusFileSayingActiveStillStartsInStandBy) {
    WriteSetUp();
    WriteBytes(SettingPath(AcquisitionStatusFile), QByteArray(21, ' ') + "1" + QByteArray(55, ' ') + "*\r\n");
    Start();
    EXPECT_EQ(d.RecordBuffer.mid(21, 1), "1") << "the record is read";
    EXPECT_TRUE(d.AcquisitionFlag.isEmpty()) << "but not applied";
    EXPECT_EQ(form->LampColour(), 255);
    EXPECT_FALSE(form->Command3()->isHidden());
    EXPECT_TRUE(form->Command4()->isHidden());

    int activeSeconds = 0;
    window->SetActiveSecondHandler([&](const QString&) { ++activeSeconds; });
    window->ClockTick();
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
    EXPECT_EQ(activeSeconds, 0);
}

TEST_F(WindowTest, StorageRateOfTenShowsAnEmptyName) {
    WriteSetUp("8", "10");
    Start();
    EXPECT_EQ(window->Panel(4), "Com: 8");
    EXPECT_EQ(form->Text5(5)->text(), "10");
    EXPECT_EQ(form->Label9(5)->text(), "");
    EXPECT_EQ(d.StorageRate, 1) << "only the first character is decoded";
}

TEST_F(WindowTest, UnreadableSetUpIsReportedOnceAndStartUpGoesOn) {
    SpoilSettingFolder();
    Start();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& m = capture.messages[0];
    EXPECT_EQ(m.icon, QMessageBox::Warning);
    EXPECT_EQ(m.title, "TARVEK");
    EXPECT_TRUE(m.text.contains("settingfiles")) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains("not a folder")) << m.text.toStdString();

    EXPECT_EQ(window->Panel(4), "Com: 1");
    EXPECT_EQ(form->Text5(4)->text(), "");
    EXPECT_EQ(form->Label9(5)->text(), "Off");
    EXPECT_EQ(form->LampColour(), 255);
    EXPECT_FALSE(form->Command3()->isHidden());
    EXPECT_TRUE(window->Timer1()->isActive());
}

TEST_F(WindowTest, ActivationFillsTheWindowOnlyOnce) {
    WriteSetUp();
    Start();
    // The operator edits a box; acquisition shows Stop.
    form->Text1(1)->setText("9.75");
    form->Text5(5)->setText("2");
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
    EXPECT_EQ(form->Text5(5)->text(), "2");
    EXPECT_TRUE(form->Command3()->isHidden());
    EXPECT_FALSE(form->Command4()->isHidden());
    EXPECT_EQ(area->subWindowList().size(), 1) << "the load step runs once";
}

TEST_F(WindowTest, TheSettingsWindowCannotBeClosed) {
    WriteSetUp();
    Start();
    window->MdiArea()->closeAllSubWindows();
    EXPECT_FALSE(form->close());
    ASSERT_EQ(window->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(window->MdiArea()->subWindowList()[0]->widget(), form);
}

TEST(FrameCentring, HalfTheDifferenceRoundedDown) {
    EXPECT_EQ(CentredLeft(12000, 11520), 240);
    EXPECT_EQ(CentredLeft(100, 110), -5);
    EXPECT_EQ(CentredLeft(100, 111), -6) << "rounded down, not towards zero";
}

TEST_F(WindowTest, FrameIsCentredOnTheScreenWidth) {
    WriteSetUp();
    Start();
    const QWidget* frame = form->Frame1();
    const int screenWidth = form->screen()->geometry().width();
    EXPECT_EQ(frame->x(), CentredLeft(screenWidth, frame->width()));
    EXPECT_GT(frame->width(), 0);
}

// Every control under its designer name, control arrays with their element
// numbers.
TEST_F(WindowTest, ControlsCarryTheirDesignerNames) {
    WriteSetUp();
    Start();
    QStringList names{"Frame1",   "Frame2",   "Frame3",    "Frame4",   "Label3(0)", "Label4(4)", "Label4(5)",
                      "Label5",   "Label6",   "Label9(5)", "Text5(4)", "Text5(5)",  "Command1",  "Command2",
                      "Command3", "Command4", "Shape1",    "Image1",   "Image2"};
    for (int n = 0; n <= 15; ++n)
        names << QStringLiteral("Label1(%1)").arg(n);
    for (int n = 1; n <= 8; ++n)
        names << QStringLiteral("Label2(%1)").arg(n) << QStringLiteral("Text1(%1)").arg(n)
              << QStringLiteral("Text2(%1)").arg(n) << QStringLiteral("Label3(%1)").arg(n - 1);
    for (const QString& name : names)
        EXPECT_EQ(form->findChildren<QWidget*>(name).size(), 1) << name.toStdString();

    EXPECT_EQ(form->findChild<QWidget*>("Text5(4)"), form->Text5(4));
    EXPECT_EQ(form->findChild<QWidget*>("Text2(8)"), form->Text2(8));
    EXPECT_EQ(form->findChild<QWidget*>("Label2(3)"), form->Label2(3));
    EXPECT_EQ(form->findChild<QWidget*>("Command4"), form->Command4());
    EXPECT_EQ(form->Text5(3), nullptr);
    EXPECT_EQ(form->Text1(0), nullptr);
    EXPECT_EQ(form->Text2(9), nullptr);
    EXPECT_EQ(form->Label9(4), nullptr);

    // The channel captions of both lists read Ch.1 .. Ch.8, eight times each.
    std::map<QString, int> captions;
    for (int n = 0; n <= 15; ++n)
        ++captions[form->findChild<QLabel*>(QStringLiteral("Label1(%1)").arg(n))->text()];
    for (int c = 1; c <= 8; ++c)
        EXPECT_EQ(captions[QStringLiteral("Ch.%1").arg(c)], 2);
}

TEST_F(WindowTest, ControlsSpeakToAssistiveTechnology) {
    WriteSetUp();
    Start();
    EXPECT_EQ(form->Text5(4)->accessibleName(), "Serial line");
    EXPECT_EQ(form->Text5(5)->accessibleName(), "Storage rate");
    EXPECT_EQ(form->Text1(3)->accessibleName(), "Gain of channel 3");
    EXPECT_EQ(form->Text2(8)->accessibleName(), "Offset of channel 8");
    EXPECT_EQ(form->Command3()->accessibleName(), "Start");
    EXPECT_EQ(form->Command2()->accessibleName(), "Save");
    EXPECT_EQ(form->findChild<QLabel*>("Label4(5)")->accessibleName(), "Rate di memorizzazione");
    EXPECT_EQ(form->Label9(5)->accessibleDescription(), "Storage rate name");

    // A reading is announced by its value; its description says whose it is.
    QLabel* reading = form->Label2(4);
    reading->setText("   12.500");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(reading);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), "   12.500");
    EXPECT_EQ(face->text(QAccessible::Description), "Reading of channel 4");

    QWidget* lamp = form->findChild<QWidget*>("Shape1");
    EXPECT_EQ(lamp->accessibleName(), "Acquisition lamp");
    EXPECT_EQ(lamp->accessibleDescription(), "red");
    const std::pair<int, const char*> colours[] = {{65535, "yellow"}, {65280, "green"}, {255, "red"}};
    for (const auto& [value, word] : colours) {
        form->SetLampColour(value);
        EXPECT_EQ(form->LampColour(), value);
        EXPECT_EQ(lamp->accessibleDescription(), word);
    }
}
