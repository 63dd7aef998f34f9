#include "AcquisitionFixture.h"
#include "WindowTestSupport.h"
#include "config/DefaultSetup.h"

#include <QAction>
#include <QCoreApplication>

namespace {

QDateTime At(int year, int month, int day, int h, int m, int s, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(h, m, s, ms));
}

// Runs the application's own event loop with `action` queued, as the program
// runs, and gives its exit code; 99 when the loop did not end within five
// seconds.
int RunApplicationWith(const std::function<void()>& action) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QTimer::singleShot(0, action);
    return QCoreApplication::exec();
}

} // namespace

class ClockTickTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteSetUp();
        OpenWindow();
        window->Timer1()->stop(); // the tests drive the tick themselves
    }
};

TEST_F(ClockTickTest, ActsOncePerWallClockSecondAndTurnsTheDateAtMidnight) {
    EXPECT_EQ(window->Panel(6), "");
    clock.Set(At(2008, 12, 31, 23, 59, 59));
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "31-12-2008     23:59:59");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");

    // Four more timer events in the same second do nothing.
    window->SetPanel(5, "written by someone else");
    for (int i = 0; i < 4; ++i) {
        clock.Advance(200);
        window->ClockTick();
        EXPECT_EQ(window->Panel(5), "written by someone else");
    }
    clock.Advance(200);
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "01-01-2009     00:00:00");
    EXPECT_EQ(d.TodayStamp, "01-01-2009");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
}

TEST_F(ClockTickTest, ActiveAcquisitionHandsEachSecondOver) {
    d.AcquisitionFlag = "1";
    clock.Set(At(2008, 3, 5, 10, 15, 14, 500));
    QStringList seconds;
    QObject::connect(window.get(), &MDIForm1::ActiveSecond, [&](const QString& time) {
        seconds << time;
        EXPECT_EQ(window->Panel(6), "05-03-2008     " + time) << "panel 6 comes first";
    });
    for (int i = 0; i < 10; ++i) {
        window->ClockTick();
        clock.Advance(200);
    }
    EXPECT_EQ(seconds, QStringList({"10:15:14", "10:15:15", "10:15:16"}));

    // Only the exact text "1" is active.
    for (const char* flag : {"", "0", " 1", "01"}) {
        d.AcquisitionFlag = flag;
        clock.Advance(1000);
        window->ClockTick();
        EXPECT_EQ(window->Panel(5), " Acquisition in stand by ") << "flag [" << flag << "]";
    }
    EXPECT_EQ(seconds.size(), 3);
}

// The acquisition control attached to the real window, as the program runs it.
class WindowAcquisitionTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(InstallDefaultSetup(d.AppFolder)); // line 1, every 30 seconds, gain 1, zero 0
        OpenWindow();
        window->Timer1()->stop(); // the test moves the clock
        window->TimerTimeoutCom()->setInterval(100);
        acquisition = MakeAcquisition();
    }
    void TearDown() override {
        acquisition.reset(); // before the window whose timer it uses
        WindowTest::TearDown();
    }
    std::unique_ptr<Acquisition> MakeAcquisition() {
        auto made = std::make_unique<Acquisition>(d, *window, port, *window->TimerTimeoutCom());
        window->Attach(*made);
        return made;
    }
    void TickAt(const QDateTime& time) {
        clock.Set(time);
        window->ClockTick();
    }
    void Answer() {
        ASSERT_TRUE(WaitUntil([&] { return port.Written().endsWith('\x80'); }, 2000));
        port.InjectBytes("!");
        port.InjectBytes(GoodAnswer() + "\r");
        ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
    }

    FakeSerialPort port;
    std::unique_ptr<Acquisition> acquisition;
};

TEST_F(WindowAcquisitionTest, StartScanAndStopAsTheOperatorSeesThem) {
    form->Command3()->click();
    EXPECT_FALSE(form->Command3()->isVisibleTo(form));
    EXPECT_TRUE(form->Command4()->isVisibleTo(form));
    EXPECT_EQ(form->LampColour(), LampGreen);
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");

    TickAt(At(2008, 3, 5, 10, 15, 0));
    EXPECT_EQ(form->LampColour(), LampYellow);
    Answer();
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(form->Label2(n)->text(), GoodReadings[n - 1]);

    form->Command4()->click();
    EXPECT_TRUE(form->Command3()->isVisibleTo(form));
    EXPECT_EQ(form->LampColour(), LampRed);
    TickAt(At(2008, 3, 5, 10, 15, 1));
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
}

TEST_F(WindowAcquisitionTest, TicksReachOnlyAnAcquisitionControlThatStillExists) {
    form->Command3()->click();
    acquisition.reset();
    TickAt(At(2008, 3, 5, 10, 15, 0)); // nothing left to hand the second to
    EXPECT_TRUE(port.Written().isEmpty());

    acquisition = MakeAcquisition(); // a second control on the same window works
    TickAt(At(2008, 3, 5, 10, 15, 15));
    Answer();
    EXPECT_EQ(port.Written().count('\x80'), 1);
}

TEST_F(WindowAcquisitionTest, ALateTickStoresItsMarkUnderItsOwnStamp) {
    form->Command3()->click();
    // The tick runs at the very end of :00, and the clock moves on between
    // any two reads of it.
    clock.SetStepPerRead(1);
    TickAt(At(2008, 3, 5, 10, 15, 0, 999));
    Answer();
    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(file.size(), 2 * 160);
    EXPECT_TRUE(file.mid(160).startsWith("05-03-2008;10:15:00;"));
}

TEST_F(ClockTickTest, ExitAndClosingTheFrameEndTheProgramEvenWhileAcquiring) {
    d.AcquisitionFlag = "1";
    window->show();
    QWidget stillOpen; // say a message box: the frame is not the last window
    stillOpen.show();
    EXPECT_EQ(RunApplicationWith([this] { window->Exitm()->trigger(); }), 0);
    EXPECT_EQ(RunApplicationWith([this] { window->close(); }), 0);
}

TEST_F(WindowAcquisitionTest, AMissingLineShowsTheWarningWithItsReasonBehindIt) {
    port.SetOpenFailure(true, "/dev/ttyS0: Permission denied");
    form->Command3()->click();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& box = capture.messages.front();
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.title, " Error ");
    EXPECT_EQ(box.text, " ATTENTION: This serial line is not available   ");
    EXPECT_EQ(box.detail, "/dev/ttyS0: Permission denied");
    EXPECT_EQ(form->LampColour(), LampGreen) << "acquisition stays started";
}
