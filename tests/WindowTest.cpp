// The main window and its Channels & Settings window: start-up, the clock
// tick, the acquisition control on the real window, the entry checks, Load
// and Save, the way out.
#include "acquisition/Acquisition.h"
#include "config/DefaultSetup.h"
#include "config/Starting.h"

#include "support/AcquisitionSupport.h"
#include "support/FakeSerialPort.h"
#include "support/WindowTestSupport.h"
#include "ui/Lamp.h"
#include "ui/Pictures.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QTimer>

using namespace tarvek;

// The window open on a set-up; the tests drive the clock tick themselves.
class OpenWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteSetUp();
        OpenWindow();
        window->Timer1()->stop();
    }
    void TicksFor(int ms) {
        for (; ms > 0; ms -= 200)
            clock.Advance(200), window->ClockTick();
    }
};

TEST_F(OpenWindowTest, LoadShowsTheFilesAndSaveRewritesOnlyTheBoxesFieldsInTheirWidths) {
    // Values the window does not store the way the file holds them: a
    // right-aligned gain and a general value longer than one character.
    WriteBytes(SettingPath(ChannelParametersFile),
               ChannelFile({"      1.5", "2", "3", "4", "5", "6", "7", "80"},
                           {"0", "0", "0", "0", "0", "0", "0", "-8"}) +
                   Record("Trailer record"));
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{16, "5 extra"}, {17, "9"}, {21, "4"}}));
    form->Command1()->click();
    EXPECT_EQ((QStringList{form->Text1(1)->text(), form->Text2(8)->text(), form->Text5(4)->text(),
                           form->Label9(5)->text()}),
              (QStringList{"1.5", "-8", "5 extra", "24 hours"}));
    // The channels are read first: their sensor type comes from the general
    // values read before this Load.
    EXPECT_EQ(state.SetUp.ChannelParam[1][Declarations::SensorType], "2");
    EXPECT_EQ(window->Panel(4), "Com: 3") << "the status bar keeps the line of the start";

    QByteArray channels = ReadBytes(SettingPath(ChannelParametersFile));
    QByteArray general = ReadBytes(SettingPath(GeneralParametersFile));
    form->Text1(2)->setText("  1.23456789012");
    form->Text2(3)->setText("-0.5 ");
    form->Text5(5)->setText("4 ");
    form->Command2()->click();
    EXPECT_EQ(state.SetUp.StorageRate, 9) << "Save does not apply the set-up";
    channels.replace(At(11, 36), 9, "1.5      "); // gain of channel 1, left-aligned
    channels.replace(At(12, 36), 9, "  1.23456"); // gain of channel 2, cut to nine characters
    channels.replace(At(13, 46), 9, "-0.5     "); // offset of channel 3
    EXPECT_EQ(ReadBytes(SettingPath(ChannelParametersFile)), channels);
    general.replace(At(16, 22), 56, "5" + QByteArray(55, ' ')); // only the first character stays
    general.replace(At(17, 22), 56, "4" + QByteArray(55, ' '));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), general);

    form->Command1()->click();
    EXPECT_EQ(std::pair(form->Text1(2)->text(), form->Label9(5)->text()),
              std::pair(QString("1.23456"), QString("10 minutes")));
    EXPECT_EQ(std::tie(state.SetUp.SerialLine, state.SetUp.StorageRate), std::make_tuple(5, 4));
    EXPECT_TRUE(capture.messages.empty());
}

// Blank gains would zero every value during acquisition: a Load that cannot
// read keeps the set-up in use.
TEST_F(OpenWindowTest, AnUnusableFolderIsReportedAndTheSetUpInUseStays) {
    form->Text1(1)->setText("2.5");
    const auto channelsBefore = state.SetUp.ChannelParam;
    const auto generalBefore = state.SetUp.GeneralValue;
    SpoilSettingFolder();
    for (const auto& [button, word] :
         {std::pair{form->Command2(), "saved"}, std::pair{form->Command1(), "loaded"}}) {
        capture.messages.clear();
        button->click();
        ASSERT_EQ(capture.messages.size(), 1u) << word;
        const TakenMessage& m = capture.messages[0];
        EXPECT_EQ(std::make_pair(m.icon, m.title), std::make_pair(QMessageBox::Warning, QString("TARVEK")));
        EXPECT_TRUE(m.text.contains(word) && m.text.contains("not a folder") &&
                    m.text.contains(QDir::toNativeSeparators(state.AppFolder + "/settingfiles")))
            << m.text.toStdString();
        EXPECT_EQ(state.SetUp.ChannelParam, channelsBefore) << word;
        EXPECT_EQ(state.SetUp.GeneralValue, generalBefore) << word;
        EXPECT_EQ(state.SetUp.SerialLine, 3);
        EXPECT_EQ(form->Text1(1)->text(), "2.5") << "the operator's entries stay";
    }
    EXPECT_EQ(ReadBytes(state.AppFolder + "/settingfiles"), "not a folder");
}

// The main window as it opens on a set-up, a spoilt one or none.
TEST_F(WindowTest, StartsInStandByShowingTheSetUpAndTheLampsColourInWords) {
    WriteSetUp();
    // A status file saying "active" is read but not applied.
    WriteBytes(SettingPath(AcquisitionStatusFile), QByteArray(21, ' ') + "1" + QByteArray(55, ' ') + "*\r\n");
    OpenWindow();

    const QList<QAction*> menu = window->menuBar()->actions();
    EXPECT_TRUE(menu.size() == 1 && menu[0]->menu() == nullptr) << "Exit acts on click, without a drop-down";
    QStringList panels;
    for (int n = 1; n <= 7; ++n)
        panels << window->Panel(n);
    EXPECT_EQ(panels, (QStringList{"", "", VersionText, "Com: 3", "  ", "", PoweredByText}));
    EXPECT_EQ(form->LampColour(), LampRed);
    EXPECT_TRUE(!form->Command3()->isHidden() && form->Command4()->isHidden()) << "Start shown, Stop hidden";
    EXPECT_EQ((QStringList{form->Text1(4)->text(), form->Text2(4)->text(), form->Text1(8)->text(),
                           form->Text5(4)->text(), form->Text5(5)->text(), form->Label9(5)->text()}),
              (QStringList{"-3.25", "30", "123456789", "3", "7", "6 hours"}));
    EXPECT_TRUE(capture.messages.empty());
    window->show(); // the MDI area would append the maximised child's title: the frame keeps its own
    EXPECT_EQ(window->windowTitle(), MainTitle);

    form->SetLampColour(LampYellow); // and the words tell assistive technology the colour
    EXPECT_EQ(form->findChild<QWidget*>("Shape1")->accessibleDescription(), "yellow");
}

// Each channel's caption, reading and unit share a row of the readings, and
// its caption, gain and offset a row of the set-up, in channel order.
TEST_F(OpenWindowTest, EachChannelHasItsRowInBothGrids) {
    const auto at = [this](const char* name, int index) { // column, row
        QWidget* w = form->findChild<QWidget*>(QString("%1(%2)").arg(name).arg(index));
        int row = -1, column = -1, span;
        if (auto* grid = w ? qobject_cast<QGridLayout*>(w->parentWidget()->layout()) : nullptr)
            grid->getItemPosition(grid->indexOf(w), &row, &column, &span, &span);
        return QPoint(column, row);
    };
    for (int n = 1; n <= Declarations::ChannelCount; ++n)
        EXPECT_EQ((QList{at("Label1", n - 1), at("Label2", n), at("Label3", n - 1), at("Label1", n + 7),
                         at("Text1", n), at("Text2", n)}),
                  (QList{QPoint(0, n - 1), QPoint(1, n - 1), QPoint(2, n - 1), QPoint(0, n + 3),
                         QPoint(1, n + 3), QPoint(2, n + 3)}));
}

TEST_F(WindowTest, UnreadableSetUpIsReportedOnceAndStartUpGoesOn) {
    SpoilSettingFolder();
    OpenWindow();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& m = capture.messages[0];
    EXPECT_EQ(std::make_pair(m.icon, m.title), std::make_pair(QMessageBox::Warning, QString("TARVEK")));
    EXPECT_TRUE(m.text.contains("settingfiles") && m.text.contains("not a folder")) << m.text.toStdString();
    EXPECT_EQ(form->Label9(5)->text(), "Off");
    EXPECT_TRUE(window->Timer1()->isActive());
}

namespace {

// Centring rounds down, below zero too.
TEST(FormRules, CentreRoundsDown) {
    EXPECT_EQ((std::array{CentredLeft(1000, 400), CentredLeft(400, 400), CentredLeft(400, 401),
                          CentredLeft(400, 403)}),
              (std::array{300, 0, -1, -2}));
}

// The entry checks (EntryChecks in SetupFilesTest), driven by the window's
// events: Enter, and leaving the box for another control of the window.
TEST_F(OpenWindowTest, EnterAndLeavingABoxCheckItSoSaveSeesCheckedValues) {
    const auto press = [](QWidget* box, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_X ? "x" : "\r");
        QCoreApplication::sendEvent(box, &event);
    };
    const auto leave = [](QWidget* box, Qt::FocusReason reason) {
        QFocusEvent event(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(box, &event);
    };
    QLineEdit *serial = form->Text5(4), *rate = form->Text5(5);
    rate->setText("10");
    press(rate, Qt::Key_X);
    EXPECT_EQ(rate->text(), "10x") << "an ordinary key is typed, not checked";
    EXPECT_EQ(form->Label9(5)->text(), "6 hours");
    press(rate, Qt::Key_Return);
    EXPECT_EQ(std::make_pair(rate->text(), form->Label9(5)->text()),
              std::make_pair(QString("0"), QString("Off")));
    rate->setText("1.5");
    press(rate, Qt::Key_Enter);
    EXPECT_EQ(form->Label9(5)->text(), "1 minute");

    // Its own context menu opening, or the operator switching to another
    // application, leaves the box in the operator's hands: nothing is checked.
    serial->setText("");
    leave(serial, Qt::PopupFocusReason);
    leave(serial, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(serial->text(), "");
    serial->setText("0"); // back in the window, and on to another control
    leave(serial, Qt::MouseFocusReason);
    EXPECT_EQ(serial->text(), "1");
    rate->setText("-2");
    leave(rate, Qt::TabFocusReason);
    form->Text1(1)->setText("not a number"); // gain and offset boxes are not checked
    leave(form->Text1(1), Qt::TabFocusReason);
    EXPECT_EQ(form->Text1(1)->text(), "not a number");
    form->Command2()->click();
    const QByteArray general = ReadBytes(SettingPath(GeneralParametersFile));
    EXPECT_EQ(general.mid(At(16, 22), 1) + general.mid(At(17, 22), 1), "10");
    EXPECT_EQ(std::tie(state.SetUp.SerialLine, state.SetUp.StorageRate), std::make_tuple(3, 7))
        << "checks never touch the running set-up";
}

} // namespace

TEST_F(OpenWindowTest, ActsOncePerWallClockSecondTurnsTheDateAndHandsTheSecondOverWhileActive) {
    clock.Set(QDateTime(QDate(2008, 12, 31), QTime(23, 59, 59)));
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "31-12-2008     23:59:59");
    EXPECT_EQ(window->Panel(5), StandByText);
    window->SetPanel(5, "written by someone else");
    TicksFor(800); // four more timer events in the same second do nothing
    EXPECT_EQ(window->Panel(5), "written by someone else");
    TicksFor(200);
    EXPECT_EQ(window->Panel(6), "01-01-2009     00:00:00");
    EXPECT_EQ(state.TodayStamp, "01-01-2009");

    // Only the exact text "1" is active.
    QStringList seconds;
    QObject::connect(window.get(), &MDIForm1::ActiveSecond, [&](const QString& time) {
        seconds << time;
        EXPECT_EQ(window->Panel(6), "01-01-2009     " + time) << "panel 6 comes first";
    });
    for (const char* flag : {"1", "", "0", " 1", "01", "1"}) {
        state.AcquisitionFlag = flag;
        TicksFor(1000);
    }
    EXPECT_EQ(seconds, QStringList({"00:00:01", "00:00:06"}));
    state.AcquisitionFlag = "0";
    TicksFor(1000);
    EXPECT_EQ(window->Panel(5), StandByText);
}

TEST_F(OpenWindowTest, ExitAndClosingTheFrameEndTheProgramEvenWhileAcquiring) {
    state.AcquisitionFlag = "1";
    window->show();
    QWidget stillOpen; // say a message box: the frame is not the last window
    stillOpen.show();
    for (const auto& quit : {std::function<void()>([this] { window->Exitm()->trigger(); }),
                             std::function<void()>([this] { window->close(); })}) {
        QTimer guard; // the loop did not end
        guard.callOnTimeout([] { QCoreApplication::exit(99); });
        guard.start(5000);
        QTimer::singleShot(0, quit);
        EXPECT_EQ(QCoreApplication::exec(), 0);
    }
}

// The acquisition control attached to the real window, as the program runs it.
class WindowAcquisitionTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(InstallDefaultSetup(state.AppFolder)); // line 1, every 30 seconds, gain 1, zero 0
        OpenWindow();
        window->Timer1()->stop(); // the test moves the clock
        acquisition = MakeAcquisition();
    }
    void TearDown() override {
        acquisition.reset(); // before the window it shows through
        WindowTest::TearDown();
    }
    std::unique_ptr<Acquisition> MakeAcquisition() {
        auto made = std::make_unique<Acquisition>(state, *window, port, 100);
        window->Attach(*made);
        return made;
    }
    void TickAt(int minute, int second, int ms = 0) { // on 05-03-2008 at 10 h
        clock.Set(QDateTime(QDate(2008, 3, 5), QTime(10, minute, second, ms)));
        window->ClockTick();
    }
    void Answer(const QByteArray& answer = GoodAnswer) { AnswerThePoll(port, *acquisition, answer); }

    FakeSerialPort port;
    std::unique_ptr<Acquisition> acquisition;
};

TEST_F(WindowAcquisitionTest, TicksReachOnlyAnAcquisitionControlThatStillExists) {
    form->Command3()->click();
    acquisition.reset();
    TickAt(15, 0); // nothing left to hand the second to
    EXPECT_TRUE(port.Written().isEmpty());

    acquisition = MakeAcquisition(); // a second control on the same window works
    TickAt(15, 15);
    Answer();
    EXPECT_EQ(port.Written().count('\x80'), 1);
}

// The tick runs at the very end of :00, and the clock moves on between any
// two reads of it: the mark is stored under its own stamp. A store that
// fails says so in the first panel until one succeeds. The reading boxes keep
// the size of the first readings shown.
TEST_F(WindowAcquisitionTest, ALateTickStoresUnderItsOwnStampAndAFailedStoreIsShown) {
    window->show();
    form->Command3()->click();
    clock.SetStepPerRead(1);
    TickAt(15, 0, 999);
    Answer();
    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(file.size(), 2 * 160);
    EXPECT_TRUE(file.mid(160).startsWith("05-03-2008;10:15:00;"));
    QDir(DataPath("")).removeRecursively();
    WriteBytes(state.AppFolder + "/datafiles", "not a folder");
    TickAt(15, 30);
    Answer();
    EXPECT_EQ(window->Panel(1), DataNotStoredText);
    QFile::remove(state.AppFolder + "/datafiles"), QDir(state.AppFolder).mkdir("datafiles");
    TickAt(16, 0);
    Answer();
    EXPECT_EQ(window->Panel(1), "");
    EXPECT_EQ(form->Label2(8)->minimumSize(), form->Label2(8)->maximumSize());
}

// A keyboard user presses Space on Start, then again to stop; the focus never
// lands in a set-up box, whose cursor would blink for the rest of the run.
TEST_F(WindowAcquisitionTest, StartAndStopHandTheKeyboardFocusToEachOther) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }, 2000));
    form->Command3()->setFocus();
    form->Command3()->click();
    EXPECT_EQ(QApplication::focusWidget(), form->Command4());
    form->Command4()->click();
    EXPECT_EQ(QApplication::focusWidget(), form->Command3());
}

TEST_F(WindowAcquisitionTest, AMissingLineShowsTheWarningWithItsReasonBehindIt) {
    port.FailOpen("/dev/ttyS0: Permission denied");
    form->Command3()->click();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& box = capture.messages.front();
    EXPECT_EQ(std::tie(box.icon, box.title, box.text, box.detail),
              std::make_tuple(QMessageBox::Warning, SerialLineErrorTitle, SerialLineErrorText,
                              QString("/dev/ttyS0: Permission denied")));
    EXPECT_EQ(form->LampColour(), LampGreen) << "acquisition stays started";
}

// The pictures and the lamp as approved (TARVEK_DRAW_PICTURES=1 draws them anew into tests/pictures/).
TEST(Pictures, AreDrawnAsApproved) {
    QWidget panel; // the lamp paints the panel behind it as well
    Lamp lamp(&panel);
    lamp.resize(28, 28), lamp.SetColour(LampGreen);
    const std::pair<const char*, QPixmap> pictures[] = {{"load", LoadPicture(32)},
                                                        {"save", SavePicture(32)},
                                                        {"trace", TracePicture(QSize(120, 72))},
                                                        {"gauge", GaugePicture(72)},
                                                        {"icon", WindowIcon().pixmap(64)},
                                                        {"lamp", lamp.grab()}};
    for (const auto& [name, pixmap] : pictures) {
        const QString path = TARVEK_SOURCE "/tests/pictures/" + QString(name) + ".png";
        const QImage drawn = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        if (qEnvironmentVariableIsSet("TARVEK_DRAW_PICTURES"))
            drawn.save(path);
        const QImage approved = QImage(path).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(approved.size(), drawn.size()) << name;
        int worst = 0; // the raster engine's blends may round apart by one or two
        for (qsizetype i = 0; i < drawn.sizeInBytes(); ++i)
            worst = std::max(worst, std::abs(drawn.constBits()[i] - approved.constBits()[i]));
        EXPECT_LE(worst, 2) << name;
    }
}
