// The poll driver: on the fake port (order of operations, failures, the
// time-out timer shared with the window) and on a real pseudo-terminal served
// by the simulated instrument.
#include "acquisition/InstrumentPoll.h"
#include "acquisition/FakeSerialPort.h"
#include "acquisition/QtSerialPortService.h"

#include "AcquisitionSupport.h"
#include "TestSupport.h"

#include <QRegularExpression>

namespace {

// The window's own time-out handler.
void ConnectWindowHandler(QTimer& timer, Declarations& d) {
    QObject::connect(&timer, &QTimer::timeout, [&] {
        d.ReplyTimedOut = 1;
        timer.stop();
    });
}

class FakePollTest : public ::testing::Test {
  protected:
    FakePollTest() {
        timer.setInterval(100); // the window uses 2000 ms; the rules do not depend on it
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        d.SerialLine = 3;
        d.SelectCode = 128;
        d.CommandText = "K";
        d.ReplyExpected = 1;
        QObject::connect(&poll, &InstrumentPoll::Finished, [this] { ++finished; });
    }

    bool WaitFinished(int count = 1) {
        return WaitUntil([&] { return finished >= count; });
    }

    Declarations d;
    FakeSerialPort port;
    QTimer timer;
    InstrumentPoll poll{d, port, timer};
    int finished = 0;
};

const QByteArray Answer = "+0012345+0100000-0000001+0000002+0000003+0000004-0004321+0000008";

} // namespace

TEST_F(FakePollTest, GoodExchangeRunsTheStepsInOrder) {
    port.SelectPort(1);
    ASSERT_TRUE(port.Open()); // left open by the Start command
    port.ClearRecords();
    d.ReplyText = "old answer";
    d.ReplyComplete = 1;
    d.ReplyTimedOut = 1;

    ASSERT_TRUE(poll.Start());
    EXPECT_TRUE(poll.IsRunning());
    EXPECT_EQ(d.ReplyText, "");
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_EQ(d.ReplyTimedOut, 0);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(port.Log(), (QStringList{"Close", "Select 3", "Open", "Write 80"}));

    port.InjectBytes("!");
    EXPECT_EQ(port.Log().mid(4), (QStringList{"Read 1", "Discard 0", "Write 4b0d"}));
    port.InjectBytes(Answer.left(10));
    port.InjectBytes(Answer.mid(10) + "\r\n");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Log().back(), "Close");
    EXPECT_EQ(finished, 0) << "Finished comes from the event loop";

    ASSERT_TRUE(WaitFinished());
    EXPECT_FALSE(poll.IsRunning());
    EXPECT_EQ(d.ReplyText, QString::fromLatin1(Answer));
    EXPECT_EQ(d.ReplyComplete, 1);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(port.Writes(), (QList<QByteArray>{"\x80", "K\r"}));
    RunEventsFor(150);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(d.ReplyTimedOut, 0) << "the time-out timer was stopped at the end";
}

TEST_F(FakePollTest, PortThatCannotBeOpenedEndsThePollAfterStartReturns) {
    port.SetOpenFailure(true);
    d.ReplyText = "old";
    d.ReplyComplete = 1;
    ASSERT_TRUE(poll.Start());
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(poll.IsRunning());
    EXPECT_EQ(d.ReplyText, "");
    EXPECT_EQ(d.ReplyComplete, 0);
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Writes().isEmpty());
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(poll.IsRunning());
}

TEST_F(FakePollTest, PortFailureMidAnswerClosesThePortAndFails) {
    ASSERT_TRUE(poll.Start());
    port.InjectBytes("!");
    port.InjectBytes("+00123");
    port.InjectFailure("hang-up");
    EXPECT_FALSE(port.IsOpen());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_EQ(d.ReplyText, "+00123");
    EXPECT_FALSE(timer.isActive());
}

TEST_F(FakePollTest, StartWhileRunningIsRefused) {
    ASSERT_TRUE(poll.Start());
    EXPECT_FALSE(poll.Start());
    EXPECT_EQ(port.OpenCount(), 1);
    port.InjectBytes("!\r");
    port.InjectBytes("\r");
    ASSERT_TRUE(WaitFinished());
    RunEventsFor(20);
    EXPECT_EQ(finished, 1);
}

TEST_F(FakePollTest, AbortClosesAtOnceAndSignalsNothing) {
    ASSERT_TRUE(poll.Start());
    port.InjectBytes("!");
    poll.Abort();
    EXPECT_FALSE(poll.IsRunning());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(timer.isActive());

    port.SetOpenFailure(true);
    ASSERT_TRUE(poll.Start()); // its end is already queued
    poll.Abort();
    RunEventsFor(250);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(d.ReplyComplete, 0);
}

// Silence, with the window's own handler connected before the poll, after
// it, or not at all: the poll must end all the same.
class TimeoutHandlerOrder : public FakePollTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TimeoutHandlerOrder, SilenceEndsThePoll) {
    const std::string order = GetParam();
    // The fixture's poll is connected first; for "Before" a second poll is
    // made after the window's handler.
    InstrumentPoll* used = &poll;
    std::unique_ptr<InstrumentPoll> later;
    if (order == "Before") {
        ConnectWindowHandler(timer, d);
        later = std::make_unique<InstrumentPoll>(d, port, timer);
        QObject::connect(later.get(), &InstrumentPoll::Finished, [this] { ++finished; });
        used = later.get();
    } else if (order == "After") {
        ConnectWindowHandler(timer, d);
    }
    ASSERT_TRUE(used->Start());
    ASSERT_TRUE(WaitFinished());
    EXPECT_EQ(d.ReplyTimedOut, 1);
    EXPECT_EQ(d.ReplyComplete, 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(timer.isActive());
}

INSTANTIATE_TEST_SUITE_P(WindowHandler, TimeoutHandlerOrder, ::testing::Values("Before", "After", "None"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(FakePollTest, NextPollStartedOnFinishedKeepsItsTimeout) {
    // The window's handler runs after the poll's own: it must not stop the
    // timer of a poll started by the receiver of Finished.
    ConnectWindowHandler(timer, d);
    bool restarted = false;
    bool timerRunsAfterRestart = false;
    QObject::connect(&poll, &InstrumentPoll::Finished, [&] {
        if (!restarted) {
            restarted = poll.Start();
            QTimer::singleShot(0, [&] { timerRunsAfterRestart = timer.isActive(); });
        }
    });
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(WaitFinished(2));
    EXPECT_TRUE(restarted);
    EXPECT_TRUE(timerRunsAfterRestart);
}

#ifdef TARVEK_INSTRUMENT

namespace {

// A poll of line 1 through the real port service, with the window's 2 s
// time-out.
class LinePoll {
  public:
    explicit LinePoll(const QString& folder) : port(folder) {
        timer.setInterval(2000);
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        ConnectWindowHandler(timer, d);
        d.SerialLine = 1;
        QObject::connect(&poll, &InstrumentPoll::Finished, [this] { ++finished; });
    }
    // Runs one scan's poll to its end; false when it never ended.
    bool Run(int replyExpected = 1) {
        d.SelectCode = 128;
        d.CommandText = "K";
        d.ReplyExpected = replyExpected;
        const int before = finished;
        return poll.Start() && WaitUntil([&] { return finished > before; }, 30000);
    }

    Declarations d;
    QtSerialPortService port;
    QTimer timer;
    InstrumentPoll poll{d, port, timer};
    int finished = 0;
};

const QRegularExpression EightReadings("^([+-][0-9]{7}){8}$");

} // namespace

struct LineCase {
    const char* name;
    QStringList arguments;
    bool complete;
    const char* replyPattern;
};

class SimulatedLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SimulatedLine, PollEndsAsTheInstrumentBehaves) {
    const LineCase& c = GetParam();
    SimulatedInstrument instrument(c.arguments);
    ASSERT_TRUE(instrument.Started());
    LinePoll line(instrument.Folder());
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(line.Run()) << "round " << round;
        EXPECT_EQ(line.d.ReplyComplete, c.complete ? 1 : 0) << "round " << round << "\n"
                                                            << instrument.Log().toStdString();
        EXPECT_TRUE(QRegularExpression(c.replyPattern).match(line.d.ReplyText).hasMatch())
            << "round " << round << ": " << line.d.ReplyText.toStdString();
        EXPECT_FALSE(line.port.IsOpen());
        EXPECT_FALSE(line.timer.isActive());
    }
    EXPECT_EQ(instrument.Stop(), 0);
    EXPECT_FALSE(QFileInfo::exists(instrument.Link())) << "the instrument removes its link";
    EXPECT_FALSE(QFileInfo(instrument.Link()).isSymLink());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SimulatedLine,
    ::testing::Values(
        LineCase{"Normal", {}, true, "^([+-][0-9]{7}){8}$"},
        LineCase{
            "Invalid", {"--mode", "invalid"}, true, "^([+-][0-9]{7}){4}[+-][0-9]=[0-9]{5}([+-][0-9]{7}){3}$"},
        LineCase{"Echo", {"--mode", "echo"}, false, "^$"},
        LineCase{"WrongAck", {"--mode", "wrong-ack"}, false, "^$"},
        LineCase{"EndlessIsCut", {"--mode", "endless", "--no-pacing"}, false, "^([+-][0-9]{7}){128}$"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatedLineSilent, PollTimesOutAfterTheSelectByte) {
    SimulatedInstrument instrument({"--mode", "silent"});
    ASSERT_TRUE(instrument.Started());
    LinePoll line(instrument.Folder());
    ASSERT_TRUE(line.Run());
    EXPECT_EQ(line.d.ReplyComplete, 0);
    EXPECT_EQ(line.d.ReplyTimedOut, 1);
    EXPECT_EQ(line.d.ReplyText, "");
    EXPECT_FALSE(line.port.IsOpen());
}

TEST(SimulatedLineHangup, PollFailsThenTheNextOneReachesTheReopenedLine) {
    SimulatedInstrument instrument({"--mode", "hangup"});
    ASSERT_TRUE(instrument.Started());
    LinePoll line(instrument.Folder());
    ASSERT_TRUE(line.Run());
    EXPECT_EQ(line.d.ReplyComplete, 0) << instrument.Log().toStdString();
    EXPECT_LT(line.d.ReplyText.size(), 64);
    EXPECT_EQ(line.d.ReplyTimedOut, 0) << "ended by the hang-up, not by the time-out";
    EXPECT_FALSE(line.port.IsOpen());

    ASSERT_TRUE(WaitUntil([&] { return instrument.Log().contains("reopened"); }));
    ASSERT_TRUE(line.Run());
    EXPECT_EQ(line.d.ReplyComplete, 1) << instrument.Log().toStdString();
    EXPECT_TRUE(EightReadings.match(line.d.ReplyText).hasMatch()) << line.d.ReplyText.toStdString();
}

TEST(SimulatedLineCommandOnly, CommandLeavesBeforeThePortCloses) {
    SimulatedInstrument instrument({});
    ASSERT_TRUE(instrument.Started());
    LinePoll line(instrument.Folder());
    ASSERT_TRUE(line.Run(0));
    EXPECT_EQ(line.d.ReplyComplete, 1);
    EXPECT_FALSE(line.port.IsOpen());
    EXPECT_TRUE(WaitUntil([&] { return instrument.Log().contains("command \"K\""); }))
        << instrument.Log().toStdString();
}

#endif
