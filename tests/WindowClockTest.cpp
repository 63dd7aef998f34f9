// The main window's clock tick, the acquisition control attached to the real
// window, and the way out.
#include "AcquisitionSupport.h"
#include "FakeSerialPort.h"
#include "WindowTestSupport.h"
#include "acquisition/Acquisition.h"
#include "config/DefaultSetup.h"

#include <QAction>
#include <QCoreApplication>

namespace {

QDateTime At(int h, int m, int s, int ms = 0) {
    return QDateTime(QDate(2008, 3, 5), QTime(h, m, s, ms));
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
    void TicksFor(int ms) {
        for (; ms > 0; ms -= 200) {
            clock.Advance(200);
            window->ClockTick();
        }
    }
};

TEST_F(ClockTickTest, ActsOncePerWallClockSecondTurnsTheDateAndHandsTheSecondOverWhileActive) {
    clock.Set(QDateTime(QDate(2008, 12, 31), QTime(23, 59, 59)));
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "31-12-2008     23:59:59");
    EXPECT_EQ(window->Panel(5), StandByText);
    window->SetPanel(5, "written by someone else");
    TicksFor(800); // four more timer events in the same second do nothing
    EXPECT_EQ(window->Panel(5), "written by someone else");
    TicksFor(200);
    EXPECT_EQ(window->Panel(6), "01-01-2009     00:00:00");
    EXPECT_EQ(d.TodayStamp, "01-01-2009");

    // Only the exact text "1" is active.
    QStringList seconds;
    QObject::connect(window.get(), &MDIForm1::ActiveSecond, [&](const QString& time) {
        seconds << time;
        EXPECT_EQ(window->Panel(6), "01-01-2009     " + time) << "panel 6 comes first";
    });
    for (const char* flag : {"1", "", "0", " 1", "01", "1"}) {
        d.AcquisitionFlag = flag;
        TicksFor(1000);
    }
    EXPECT_EQ(seconds, QStringList({"00:00:01", "00:00:06"}));
    d.AcquisitionFlag = "0";
    TicksFor(1000);
    EXPECT_EQ(window->Panel(5), StandByText);
}

TEST_F(ClockTickTest, ExitAndClosingTheFrameEndTheProgramEvenWhileAcquiring) {
    d.AcquisitionFlag = "1";
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

TEST_F(WindowAcquisitionTest, TicksReachOnlyAnAcquisitionControlThatStillExists) {
    form->Command3()->click();
    acquisition.reset();
    TickAt(At(10, 15, 0)); // nothing left to hand the second to
    EXPECT_TRUE(port.Written().isEmpty());

    acquisition = MakeAcquisition(); // a second control on the same window works
    TickAt(At(10, 15, 15));
    Answer();
    EXPECT_EQ(port.Written().count('\x80'), 1);
}

// The tick runs at the very end of :00, and the clock moves on between any two reads of it.
TEST_F(WindowAcquisitionTest, ALateTickStoresItsMarkUnderItsOwnStamp) {
    form->Command3()->click();
    clock.SetStepPerRead(1);
    TickAt(At(10, 15, 0, 999));
    Answer();
    const QByteArray file = ReadBytes(DataPath("03-2008-Data.txt"));
    ASSERT_EQ(file.size(), 2 * 160);
    EXPECT_TRUE(file.mid(160).startsWith("05-03-2008;10:15:00;"));
}

TEST_F(WindowAcquisitionTest, AMissingLineShowsTheWarningWithItsReasonBehindIt) {
    port.FailOpen("/dev/ttyS0: Permission denied");
    form->Command3()->click();
    ASSERT_EQ(capture.messages.size(), 1u);
    const TakenMessage& box = capture.messages.front();
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.title, " Error ");
    EXPECT_EQ(box.text, " ATTENTION: This serial line is not available   ");
    EXPECT_EQ(box.detail, "/dev/ttyS0: Permission denied");
    EXPECT_EQ(form->LampColour(), LampGreen) << "acquisition stays started";
}
