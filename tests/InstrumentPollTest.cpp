// The poll driver on the fake port: the steps of an exchange, failures, and
// the time-out timer it shares with the window.
#include "acquisition/InstrumentPoll.h"

#include "AcquisitionSupport.h"
#include "FakeSerialPort.h"
#include "TestSupport.h"

// A poll of line 1. The window's own time-out handler (2000 ms there; the
// rules do not depend on it) is connected after the poll's, so it runs after it.
class PollTest : public ::testing::Test {
  protected:
    PollTest() {
        timer.setInterval(100);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            d.ReplyTimedOut = 1;
            timer.stop();
        });
        d.SerialLine = 1;
        d.SelectCode = 128;
        d.CommandText = "K";
        d.ReplyExpected = 1;
        QObject::connect(&poll, &InstrumentPoll::Finished, [this] { ++finished; });
    }
    bool WaitFinished(int count = 1) {
        return WaitUntil([&] { return finished >= count; }, 30000);
    }

    Declarations d;
    FakeSerialPort port;
    QTimer timer;
    InstrumentPoll poll{d, port, timer};
    int finished = 0;
};

TEST_F(PollTest, GoodExchangeRunsTheStepsInOrder) {
    port.SelectPort(3);
    ASSERT_TRUE(port.Open()); // left open by the Start command
    port.InjectBytes("stale");
    ASSERT_TRUE(poll.Start());
    EXPECT_FALSE(poll.Start()) << "one poll at a time";
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(port.SelectedPort(), 1) << "reopened on the line of the set-up";
    EXPECT_EQ(port.OpenCount(), 2);
    EXPECT_EQ(port.Written(), "\x80");

    port.InjectBytes("!?"); // what follows the acknowledgement is dropped before the command
    EXPECT_EQ(port.Written(), "\x80K\r");
    port.InjectBytes("+0012345");
    port.InjectBytes("-0000500\r\n");
    EXPECT_FALSE(port.IsOpen()) << "closed at the end of the answer";
    EXPECT_EQ(finished, 0) << "Finished comes from the event loop";
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(d.ReplyText, "+0012345-0000500");
    EXPECT_EQ(d.ReplyComplete, 1);
    RunEventsFor(150);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(d.ReplyTimedOut, 0) << "the time-out timer was stopped at the end";
}

TEST_F(PollTest, PortThatCannotBeOpenedEndsThePollAfterStartReturnsUnlessAborted) {
    port.FailOpen("COM1: no such serial line");
    d.ReplyComplete = 1;
    ASSERT_TRUE(poll.Start());
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(port.Written().isEmpty());

    ASSERT_TRUE(poll.Start()); // its end is already queued
    poll.Abort();
    port.FailOpen({});
    ASSERT_TRUE(poll.Start()); // the aborted poll's end must not end this one
    RunEventsFor(50);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(poll.IsRunning());
}

// The window's handler runs after the poll's own: it must not stop the timer
// of a poll that the receiver of Finished has just started.
TEST_F(PollTest, SilenceEndsThePollAndTheNextOneStartedOnFinishedKeepsItsTimeout) {
    bool timerRunsAfterRestart = false;
    QObject::connect(&poll, &InstrumentPoll::Finished, [&] {
        if (finished != 1)
            return;
        EXPECT_EQ(std::tie(d.ReplyTimedOut, d.ReplyComplete), std::make_tuple(1, 0));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(poll.Start());
        QTimer::singleShot(0, [&] { timerRunsAfterRestart = timer.isActive(); });
    });
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_TRUE(timerRunsAfterRestart);
}
