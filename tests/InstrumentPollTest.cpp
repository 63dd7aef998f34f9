// One poll of the instrument: the exchange rules on scripted lines, and the poll driver on the fake port.
#include "acquisition/InstrumentPoll.h"

#include "support/FakeSerialPort.h"
#include "support/TestSupport.h"

using namespace tarvek;

// A poll of line 1 with a short reply time-out.
class PollTest : public ::testing::Test {
  protected:
    PollTest() {
        QObject::connect(&poll, &InstrumentPoll::Finished,
                         [this](const PollResult& r) { result = r, ++finished; });
    }
    bool Start() { return poll.Start({128, "K", true, 1}); }

    FakeSerialPort port;
    InstrumentPoll poll{port, 100};
    PollResult result;
    int finished = 0;
};

TEST_F(PollTest, GoodExchangeRunsTheStepsInOrder) {
    port.SelectPort(3);
    ASSERT_TRUE(port.Open()); // left open by the Start command
    port.InjectBytes("stale");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Start()) << "one poll at a time";
    EXPECT_EQ(port.SelectedPort(), 1) << "reopened on the line of the set-up";
    EXPECT_EQ(port.OpenCount(), 2);

    port.InjectBytes("!?"); // what follows the acknowledgement is dropped before the command
    EXPECT_EQ(port.Written(), "\x80K\r");
    port.InjectBytes("+0012345-0000500\r\n");
    EXPECT_FALSE(port.IsOpen()) << "closed at the end of the answer";
    EXPECT_EQ(finished, 0) << "Finished comes from the event loop";
    ASSERT_TRUE(WaitUntil([&] { return finished == 1; }));
    EXPECT_EQ(result.replyText, "+0012345-0000500");
    EXPECT_TRUE(result.replyComplete);
    EXPECT_FALSE(poll.TimerTimeoutCom().isActive()) << "stopped at the end";
    RunEventsFor(150);
    EXPECT_EQ(finished, 1);
}

// Polls that end without an answer: on a line that cannot be opened (after Start returned), aborted (its
// queued end never ends the next poll), silent; one started by the receiver of Finished keeps its time-out.
TEST_F(PollTest, EndsWithoutAnAnswerOnAFailedOpenAnAbortAndSilence) {
    bool timerRunsAfterRestart = false;
    QObject::connect(&poll, &InstrumentPoll::Finished, [&] {
        if (finished != 2)
            return;
        EXPECT_FALSE(result.replyComplete);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(Start());
        QTimer::singleShot(0, [&] { timerRunsAfterRestart = poll.TimerTimeoutCom().isActive(); });
    });
    port.FailOpen("COM1: no such serial line");
    ASSERT_TRUE(Start());
    EXPECT_EQ(finished, 0);
    ASSERT_TRUE(WaitUntil([&] { return finished == 1; }));
    EXPECT_TRUE(port.Written().isEmpty());
    EXPECT_FALSE(result.replyComplete);

    ASSERT_TRUE(Start()); // its end is already queued
    poll.Abort();
    port.FailOpen({});
    ASSERT_TRUE(Start()); // the aborted poll's end must not end this one
    RunEventsFor(50);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(poll.IsRunning());
    ASSERT_TRUE(WaitUntil([&] { return finished == 3; })); // silence ends it, and the one started then
    EXPECT_TRUE(timerRunsAfterRestart);
}

// The exchange rules, run against scripted lines on a fake time axis: each script says which bytes arrive
// when, and the reply time-out fires whenever 2000 ms pass without a restart.
namespace {

struct ExchangeCase {
    const char* name;
    std::vector<std::pair<int, QByteArray>> script; // at ms, bytes
    bool commandSent, complete; // commandSent: "!" accepted, waiting bytes dropped, command written
    QByteArray reply;
    int endedAtMs;
    bool replyExpected = true;
};

class ExchangeTable : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(ExchangeTable, EndsAsTheLineDictates) {
    const ExchangeCase& c = GetParam();
    InstrumentExchange x;
    QByteArray written;
    int deadline = -1, endedAtMs = -1;
    const auto apply = [&](const InstrumentExchange::Actions& a, int now) {
        EXPECT_EQ(a.closePort, a.finished) << "the port closes once, when the exchange ends";
        written += QByteArray(a.discardWaiting ? "|" : "") + a.write; // "|": the waiting bytes dropped
        deadline = a.timeoutMs >= 0 ? now + a.timeoutMs : deadline;
        endedAtMs = a.finished ? now : endedAtMs;
    };
    apply(x.Start(128, "K", c.replyExpected), 0);
    for (const auto& [at, bytes] : c.script) // in time order
        if (endedAtMs < 0 && at < deadline)
            apply(x.BytesReceived(bytes), at);
    if (endedAtMs < 0)
        apply(x.TimedOut(), deadline);
    EXPECT_EQ(x.ReplyComplete(), c.complete);
    EXPECT_EQ(x.ReplyText(), c.reply);
    EXPECT_EQ(written, c.commandSent ? "\x80|K\r" : "\x80");
    EXPECT_EQ(endedAtMs, c.endedAtMs);
    // Whatever else happens afterwards changes nothing.
    const auto late = x.BytesReceived(QByteArray("!\r"));
    EXPECT_TRUE(late.write.isEmpty() && !late.closePort && !late.finished && late.timeoutMs < 0);
    EXPECT_FALSE(x.TimedOut().finished || x.PortFailed().finished);
}

const QByteArray Answer64 = QByteArray("+0012345-0000500").repeated(4), L1023(1023, '7');

using Row = ExchangeCase;
INSTANTIATE_TEST_SUITE_P(
    Scripts, ExchangeTable,
    ::testing::Values(
        Row{"AnswerInOneChunk", {{30, "!"}, {60, Answer64 + "\r"}}, true, true, Answer64, 60},
        Row{"EchoFirstFailsEvenIfAckFollows", {{4, "\x80"}, {8, "!"}, {20, "1\r"}}, false, false, "", 4},
        Row{"BytesWithTheAckAreDropped", {{4, "!junk"}, {40, "+01\r"}}, true, true, "+01", 40},
        Row{"WhatFollowsTheCarriageReturnIsLost", {{4, "!"}, {8, "ab\r\nc"}}, true, true, "ab", 8},
        Row{"SilenceTimesOutAfterTheSelectByte", {}, false, false, "", 2000},
        Row{"CharactersRestartTheTimeOut", {{1900, "!"}, {3800, "a"}, {5700, "\r"}}, true, true, "a", 5700},
        Row{"GapOf2sFailsKeepingWhatCame", {{4, "!"}, {8, "ab"}, {2008, "c\r"}}, true, false, "ab", 2008},
        Row{"Answer1023CharactersIsAccepted", {{4, "!"}, {8, L1023 + "\r"}}, true, true, L1023, 8},
        Row{"EndlessAnswerIsCutAt1024", {{4, "!"}, {8, L1023}, {9, L1023}}, true, false, L1023 + "7", 9},
        Row{"NoReplyExpectedEndsWithTheCommand", {{4, "!"}, {8, "late\r"}}, true, true, "", 4, false},
        Row{"NoReplyExpectedStillNeedsTheAck", {}, false, false, "", 2000, false}),
    RowName);

} // namespace
