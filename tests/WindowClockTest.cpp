#include "AcquisitionSupport.h"
#include "WindowTestSupport.h"

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
        Start();
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
    window->SetActiveSecondHandler([&](const QString& time) {
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

TEST_F(ClockTickTest, ReplyTimeOutSetsItsFlagOncePerArming) {
    d.ReplyTimedOut = 0;
    window->TimerTimeoutCom()->start(1);
    ASSERT_TRUE(WaitUntil([&] { return d.ReplyTimedOut == 1; }));
    EXPECT_FALSE(window->TimerTimeoutCom()->isActive());
}

TEST_F(ClockTickTest, ExitAndClosingTheFrameEndTheProgramEvenWhileAcquiring) {
    d.AcquisitionFlag = "1";
    window->show();
    QWidget stillOpen; // say a message box: the frame is not the last window
    stillOpen.show();
    EXPECT_EQ(RunApplicationWith([this] { window->Exitm()->trigger(); }), 0);
    EXPECT_EQ(RunApplicationWith([this] { window->close(); }), 0);
}
