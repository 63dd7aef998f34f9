// The poll driver: on the fake port (order of operations, failures, the
// time-out timer shared with the window) and on a real pseudo-terminal served
// by the simulated instrument.
#include "acquisition/InstrumentPoll.h"
#include "FakeSerialPort.h"
#include "acquisition/QtSerialPortService.h"

#include "AcquisitionSupport.h"
#include "TestSupport.h"

namespace {

// A poll of line 1 on `Port`. The window's own time-out handler is connected
// after the poll's, so it runs after it.
template <typename Port> struct PollRig {
    template <typename... PortArguments>
    PollRig(int timeoutMs, PortArguments... arguments) : port(arguments...) {
        timer.setInterval(timeoutMs);
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            d.ReplyTimedOut = 1;
            timer.stop();
        });
        d.SetUp.SerialLine = 1;
        d.SelectCode = 128;
        d.CommandText = "K";
        d.ReplyExpected = 1;
        QObject::connect(&poll, &InstrumentPoll::Finished, [this] { ++finished; });
    }
    bool WaitFinished(int count = 1) {
        return WaitUntil([&] { return finished >= count; }, 30000);
    }

    Declarations d;
    Port port;
    QTimer timer;
    InstrumentPoll poll{d, port, timer};
    int finished = 0;
};

// The window uses 2000 ms; the rules do not depend on it.
class FakePollTest : public ::testing::Test, public PollRig<FakeSerialPort> {
  protected:
    FakePollTest() : PollRig(100) {}
};

} // namespace

TEST_F(FakePollTest, GoodExchangeRunsTheStepsInOrder) {
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

TEST_F(FakePollTest, PortThatCannotBeOpenedEndsThePollAfterStartReturnsUnlessAborted) {
    port.SetOpenFailure(true);
    d.ReplyComplete = 1;
    ASSERT_TRUE(poll.Start());
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(WaitFinished());
    EXPECT_TRUE(port.Written().isEmpty());

    ASSERT_TRUE(poll.Start()); // its end is already queued
    poll.Abort();
    port.SetOpenFailure(false);
    ASSERT_TRUE(poll.Start()); // the aborted poll's end must not end this one
    RunEventsFor(50);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(poll.IsRunning());
}

TEST_F(FakePollTest, SilenceEndsThePollAndTheNextOneStartedOnFinishedKeepsItsTimeout) {
    // The window's handler runs after the poll's own: it must not stop the
    // timer of a poll that the receiver of Finished has just started.
    bool timerRunsAfterRestart = false;
    QObject::connect(&poll, &InstrumentPoll::Finished, [&] {
        if (finished != 1)
            return;
        EXPECT_EQ(d.ReplyTimedOut, 1);
        EXPECT_EQ(d.ReplyComplete, 0);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(poll.Start());
        QTimer::singleShot(0, [&] { timerRunsAfterRestart = timer.isActive(); });
    });
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_TRUE(timerRunsAfterRestart);
}

#ifdef TARVEK_INSTRUMENT

// On a real line: a command that expects no answer still leaves before the
// poll closes the port.
TEST(SimulatedLine, ACommandWithoutAnswerLeavesBeforeThePortCloses) {
    SimulatedInstrument instrument({});
    ASSERT_TRUE(instrument.Started());
    PollRig<QtSerialPortService> line(2000, instrument.Folder());
    line.d.ReplyExpected = 0;
    ASSERT_TRUE(line.poll.Start() && line.WaitFinished(1));
    EXPECT_EQ(line.d.ReplyComplete, 1);
    EXPECT_FALSE(line.port.IsOpen());
    EXPECT_TRUE(WaitUntil([&] { return instrument.Log().contains("command \"K\""); }))
        << instrument.Log().toStdString();
}

#endif
