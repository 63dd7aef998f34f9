#include "WindowTestSupport.h"

#include <QAccessible>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

TEST_F(WindowTest, StartsInStandByShowingTheSetUp) {
    WriteSetUp();
    // A status file saying "active" is read but not applied.
    WriteBytes(SettingPath(AcquisitionStatusFile), QByteArray(21, ' ') + "1" + QByteArray(55, ' ') + "*\r\n");
    Start();

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
    Start();
    EXPECT_EQ(form->Text5(5)->text(), "10");
    EXPECT_EQ(form->Label9(5)->text(), "") << "the decoded rate is 1, named \"30 seconds\"";
}

TEST_F(WindowTest, UnreadableSetUpIsReportedOnceAndStartUpGoesOn) {
    SpoilSettingFolder();
    Start();
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
    Start();
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

TEST_F(WindowTest, FrameIsCentredOnTheScreenWidth) {
    EXPECT_EQ(CentredLeft(100, 111), -6) << "half the difference, rounded down";
    WriteSetUp();
    Start();
    const QWidget* frame = form->Frame1();
    EXPECT_GT(frame->width(), 0);
    EXPECT_EQ(frame->x(), CentredLeft(form->screen()->geometry().width(), frame->width()));
}

namespace {

// Counts the events of one type that reach the objects it watches.
struct EventCount : QObject {
    explicit EventCount(QEvent::Type counted) : type(counted) {}
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == type;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

void Settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST_F(WindowTest, NewPanelTextsRepaintTheirPanelWithoutLayingOutTheStatusBar) {
    WriteSetUp();
    Start();
    window->show();
    window->SetPanel(5, " Waiting for acquisition ");
    window->SetPanel(6, "05-03-2008     10:15:00");
    Settle();
    // The panels' widths follow their stretch factors, not their texts:
    // laying out the status bar would repaint all its panels and lay out the
    // whole window.
    EventCount layouts(QEvent::LayoutRequest);
    window->statusBar()->installEventFilter(&layouts);
    window->SetPanel(6, "05-03-2008     10:15:01");
    window->SetPanel(5, " Acquisition in progress.. ");
    Settle();
    EXPECT_EQ(window->Panel(5), " Acquisition in progress.. ");
    EXPECT_EQ(layouts.count, 0);

    // A taller text does get a taller status bar.
    const int height = window->statusBar()->height();
    QLabel* state = window->statusBar()->findChild<QLabel*>("Panel5");
    QFont font = state->font();
    font.setPointSizeF(font.pointSizeF() * 2);
    state->setFont(font);
    Settle();
    EXPECT_GT(window->statusBar()->height(), height);
}

TEST_F(WindowTest, YellowLampIsPaintedBeforeTheCallerGoesOn) {
    WriteSetUp();
    Start();
    window->show();
    Settle();
    EventCount paints(QEvent::Paint);
    form->findChild<QWidget*>("Shape1")->installEventFilter(&paints);
    form->SetLampColour(LampYellow); // a poll's first byte follows at once
    EXPECT_EQ(paints.count, 1);
}

// Every control under its designer name, control arrays with their element
// numbers, and the names assistive technology reads out.
TEST_F(WindowTest, ControlsCarryTheirDesignerAndAccessibleNames) {
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
    for (int n = 0; n <= 15; ++n) // the captions of both channel lists
        EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("Label1(%1)").arg(n))->text(),
                  QStringLiteral("Ch.%1").arg(n % 8 + 1));

    const char* spoken[] = {
        "Text5(4)",  "Serial line",           "Text5(5)", "Storage rate", "Text1(3)", "Gain of channel 3",
        "Text2(8)",  "Offset of channel 8",   "Command3", "Start",        "Shape1",   "Acquisition lamp",
        "Label4(5)", "Rate di memorizzazione"};
    for (int i = 0; i < std::ssize(spoken); i += 2)
        EXPECT_EQ(form->findChild<QWidget*>(spoken[i])->accessibleName(), spoken[i + 1]) << spoken[i];
    // A reading is announced by its value; its description says whose it is.
    form->Label2(4)->setText("   12.500");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(form->Label2(4));
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Name), "   12.500");
    EXPECT_EQ(face->text(QAccessible::Description), "Reading of channel 4");

    QWidget* lamp = form->findChild<QWidget*>("Shape1");
    const std::pair<int, const char*> colours[] = {
        {LampYellow, "yellow"}, {LampGreen, "green"}, {LampRed, "red"}};
    for (const auto& [value, word] : colours) {
        form->SetLampColour(value);
        EXPECT_EQ(lamp->accessibleDescription(), word);
    }
}
