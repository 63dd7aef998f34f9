// The poll driver: on the fake port (order of operations, failures, the
// time-out timer shared with the window) and on a real pseudo-terminal served
// by the simulated instrument.
#include "acquisition/InstrumentPoll.h"
#include "FakeSerialPort.h"
#include "acquisition/QtSerialPortService.h"

#include "AcquisitionSupport.h"
#include "TestSupport.h"

#include <QRegularExpression>

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
    port.ClearRecords();
    ASSERT_TRUE(poll.Start());
    EXPECT_FALSE(poll.Start()) << "one poll at a time";
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(port.Log(), (QStringList{"Close", "Select 1", "Open", "Write 80"}));

    port.InjectBytes("!");
    EXPECT_EQ(port.Log().mid(4), (QStringList{"Read 1", "Discard 0", "Write 4b0d"}));
    port.InjectBytes("+0012345");
    port.InjectBytes("-0000500\r\n");
    EXPECT_EQ(port.Log().back(), "Close");
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
    EXPECT_TRUE(port.Writes().isEmpty());

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

const char* const EightReadings = "^([+-][0-9]{7}){8}$";

struct LineCase {
    const char* name;
    QStringList arguments;
    int replyExpected;
    int complete;
    int timedOut;
    const char* replyPattern;
    const char* logged;     // what the instrument then reports
    bool pollAgain = false; // a second poll must get a whole answer
};
inline void PrintTo(const LineCase& row, std::ostream* os) {
    *os << row.name;
}

class SimulatedLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SimulatedLine, PollEndsAsTheInstrumentBehaves) {
    const LineCase& c = GetParam();
    SimulatedInstrument instrument(c.arguments);
    ASSERT_TRUE(instrument.Started());
    PollRig<QtSerialPortService> line(2000, instrument.Folder());
    line.d.ReplyExpected = c.replyExpected;
    ASSERT_TRUE(line.poll.Start() && line.WaitFinished(1));
    EXPECT_EQ(line.d.ReplyComplete, c.complete) << instrument.Log().toStdString();
    EXPECT_EQ(line.d.ReplyTimedOut, c.timedOut);
    EXPECT_TRUE(QRegularExpression(c.replyPattern).match(line.d.ReplyText).hasMatch())
        << line.d.ReplyText.toStdString();
    EXPECT_FALSE(line.port.IsOpen());
    EXPECT_FALSE(line.timer.isActive());
    ASSERT_TRUE(WaitUntil([&] { return instrument.Log().contains(c.logged); }))
        << instrument.Log().toStdString();
    if (c.pollAgain) {
        line.d.ReplyExpected = 1;
        ASSERT_TRUE(line.poll.Start() && line.WaitFinished(2));
        EXPECT_TRUE(QRegularExpression(EightReadings).match(line.d.ReplyText).hasMatch())
            << instrument.Log().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SimulatedLine,
    ::testing::Values(LineCase{"Normal", {}, 1, 1, 0, EightReadings, "answer sent"},
                      // The command must leave before the port closes.
                      LineCase{"CommandOnly", {}, 0, 1, 0, "^$", "command \"K\""},
                      LineCase{"Silent", {"--mode", "silent"}, 1, 0, 1, "^$", "staying silent"},
                      // Ended by the hang-up, not by the time-out; the next poll reopens the line.
                      LineCase{"HangUp", {"--mode", "hangup"}, 1, 0, 0, "^.{0,63}$", "reopened", true}),
    RowName);

#endif
