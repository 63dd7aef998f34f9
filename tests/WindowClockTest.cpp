#include "WindowTestSupport.h"

#include "common/TextHelpers.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {

QDateTime At(int year, int month, int day, int h, int m, int s, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(h, m, s, ms));
}

// Runs the event loop until `signal` of `sender` fires, or five seconds pass.
template <typename Sender, typename Signal> bool WaitFor(const Sender* sender, Signal signal) {
    QEventLoop loop;
    bool fired = false;
    QObject::connect(sender, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(5000);
    loop.exec();
    return fired;
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

TEST_F(ClockTickTest, ActsOncePerWallClockSecond) {
    clock.Set(At(2008, 3, 5, 10, 15, 0, 0));
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "05-03-2008     10:15:00");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");

    // Four more timer events in the same second do nothing.
    window->SetPanel(5, "written by someone else");
    for (int i = 0; i < 4; ++i) {
        clock.Advance(200);
        window->ClockTick();
        EXPECT_EQ(window->Panel(5), "written by someone else");
    }
    EXPECT_EQ(d.LastTickTime, "10:15:00");

    clock.Advance(200); // 10:15:01.000
    window->ClockTick();
    EXPECT_EQ(d.LastTickTime, "10:15:01");
    EXPECT_EQ(window->Panel(6), "05-03-2008     10:15:01");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
}

TEST_F(ClockTickTest, FirstTickAfterStartUpActs) {
    EXPECT_EQ(window->Panel(6), "");
    EXPECT_EQ(window->Panel(5), "  ");
    clock.Set(At(2008, 12, 6, 1, 2, 3));
    window->ClockTick();
    EXPECT_EQ(window->Panel(6), "06-12-2008     01:02:03");
    EXPECT_EQ(d.TodayStamp, "06-12-2008");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
}

TEST_F(ClockTickTest, DateChangesAtTheFirstTickOfTheNewDay) {
    clock.Set(At(2008, 12, 31, 23, 59, 59, 900));
    window->ClockTick();
    EXPECT_EQ(d.TodayStamp, "31-12-2008");
    clock.Advance(200);
    window->ClockTick();
    EXPECT_EQ(d.TodayStamp, "01-01-2009");
    EXPECT_EQ(d.TodayStamp, DateStamp(QDate(2009, 1, 1)));
    EXPECT_EQ(window->Panel(6), "01-01-2009     00:00:00");
}

TEST_F(ClockTickTest, ActiveAcquisitionHandsEachSecondOver) {
    d.AcquisitionFlag = "1";
    clock.Set(At(2008, 3, 5, 10, 15, 14, 500));
    window->ClockTick();
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ") << "no handler installed";

    QStringList seconds;
    window->SetActiveSecondHandler([&](const QString& time) {
        seconds << time;
        EXPECT_EQ(window->Panel(6), "05-03-2008     " + time) << "panel 6 comes first";
        window->SetPanel(5, "handled " + time);
    });
    for (int i = 0; i < 10; ++i) {
        clock.Advance(200);
        window->ClockTick();
    }
    EXPECT_EQ(seconds, QStringList({"10:15:15", "10:15:16"}));
    EXPECT_EQ(window->Panel(5), "handled 10:15:16");

    window->SetActiveSecondHandler({});
    clock.Advance(1000);
    window->ClockTick();
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");
}

class StandByFlag : public ClockTickTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(StandByFlag, OnlyTheExactTextOneIsActive) {
    d.AcquisitionFlag = GetParam();
    int handled = 0;
    window->SetActiveSecondHandler([&](const QString&) { ++handled; });
    window->ClockTick();
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
}

INSTANTIATE_TEST_SUITE_P(Flags, StandByFlag, ::testing::Values("", "0", " 1", "1 ", "01", "2"),
                         [](const auto& info) {
                             const std::string flag = info.param;
                             return "Flag_" +
                                    (flag.empty() ? std::string("empty") : std::to_string(info.index));
                         });

TEST_F(ClockTickTest, ReplyTimeOutFiresOncePerArming) {
    d.ReplyTimedOut = 0;
    window->TimerTimeoutCom()->start();
    window->ReplyTimeoutTick();
    EXPECT_EQ(d.ReplyTimedOut, 1);
    EXPECT_FALSE(window->TimerTimeoutCom()->isActive());

    // The real timer is wired to the handler.
    d.ReplyTimedOut = 0;
    window->TimerTimeoutCom()->start(1);
    ASSERT_TRUE(WaitFor(window->TimerTimeoutCom(), &QTimer::timeout));
    EXPECT_EQ(d.ReplyTimedOut, 1);
    EXPECT_FALSE(window->TimerTimeoutCom()->isActive());
}

TEST_F(ClockTickTest, Timer1DrivesTheTick) {
    clock.Set(At(2008, 3, 5, 10, 15, 0));
    window->Timer1()->start();
    ASSERT_TRUE(WaitFor(window->Timer1(), &QTimer::timeout));
    EXPECT_EQ(window->Panel(6), "05-03-2008     10:15:00");
}

TEST_F(ClockTickTest, ExitEndsTheProgramEvenWhileAcquiring) {
    d.AcquisitionFlag = "1";
    EXPECT_EQ(RunApplicationWith([this] { window->Exitm()->trigger(); }), 0);
}

TEST_F(ClockTickTest, ClosingTheMainWindowEndsTheProgram) {
    window->show();
    QWidget stillOpen; // say a message box: the frame is not the last window
    stillOpen.show();
    EXPECT_EQ(RunApplicationWith([this] { window->close(); }), 0);
}
