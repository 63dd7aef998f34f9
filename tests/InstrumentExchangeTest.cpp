// The exchange rules, run against scripted lines on a fake time axis: each
// script says which bytes arrive when, and the reply time-out fires whenever
// 2000 ms pass without a restart.
#include "acquisition/InstrumentExchange.h"

#include "TestSupport.h"

#include <vector>

namespace {

using Script = std::vector<std::pair<int, QByteArray>>; // at ms, bytes

struct ExchangeCase {
    const char* name;
    Script script;
    bool commandSent; // "!" accepted: waiting bytes dropped, command written
    bool complete;
    QByteArray reply;
    int endedAtMs;
    bool replyExpected = true;
};

class ExchangeTable : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(ExchangeTable, EndsAsTheLineDictates) {
    const ExchangeCase& c = GetParam();
    InstrumentExchange x;
    QByteArray written;
    int discards = 0, deadline = -1, endedAtMs = -1;
    const auto apply = [&](const InstrumentExchange::Actions& a, int now) {
        EXPECT_EQ(endedAtMs, -1) << "action after the end at " << now << " ms";
        EXPECT_EQ(a.closePort, a.finished) << "the port closes once, when the exchange ends";
        discards += a.discardWaiting ? 1 : 0;
        written += a.write;
        deadline = a.restartTimeout ? now + 2000 : deadline;
        endedAtMs = a.finished ? now : endedAtMs;
    };
    apply(x.Start(128, "K", c.replyExpected), 0);
    for (const auto& [at, bytes] : c.script) {
        if (endedAtMs >= 0 || deadline <= at)
            break;
        apply(x.BytesReceived(bytes), at);
    }
    if (endedAtMs < 0)
        apply(x.TimedOut(), deadline);
    EXPECT_EQ(x.ReplyComplete(), c.complete);
    EXPECT_EQ(x.ReplyText(), c.reply);
    EXPECT_EQ(written, c.commandSent ? QByteArray("\x80K\r") : QByteArray("\x80"));
    EXPECT_EQ(discards, c.commandSent ? 1 : 0);
    EXPECT_EQ(endedAtMs, c.endedAtMs);
    // Whatever else happens afterwards changes nothing.
    const auto late = x.BytesReceived(QByteArray("!\r"));
    EXPECT_TRUE(late.write.isEmpty() && !late.closePort && !late.finished && !late.restartTimeout);
    EXPECT_FALSE(x.TimedOut().finished || x.PortFailed().finished);
}

const QByteArray Answer64 = QByteArray("+0012345-0000500").repeated(4);
const QByteArray Long = QByteArray(1100, '7');

using Row = ExchangeCase;
INSTANTIATE_TEST_SUITE_P(
    Scripts, ExchangeTable,
    ::testing::Values(
        Row{"AnswerInOneChunk", {{30, "!"}, {60, Answer64 + "\r"}}, true, true, Answer64, 60},
        Row{"EchoFirstFailsEvenIfAckFollows", {{4, "\x80"}, {8, "!"}, {20, "1\r"}}, false, false, "", 4},
        Row{"EchoAndAckInOneChunkFail", {{4, "\x80!"}}, false, false, "", 4},
        Row{"BytesWithTheAckAreDropped", {{4, "!junk"}, {40, "+01\r"}}, true, true, "+01", 40},
        Row{"CarriageReturnFirstIsAnEmptyAnswer", {{4, "!"}, {8, "\r"}}, true, true, "", 8},
        Row{"WhatFollowsTheCarriageReturnIsLost", {{4, "!"}, {8, "ab\r\nc"}}, true, true, "ab", 8},
        Row{"SilenceTimesOutAfterTheSelectByte", {}, false, false, "", 2000},
        Row{"NoAnswerAfterTheCommand", {{10, "!"}}, true, false, "", 2010},
        Row{"FirstCharacterCountsFromTheCommand", {{1500, "!"}, {3400, "a\r"}}, true, true, "a", 3400},
        Row{"CharactersRestartTheTimeOut", {{1900, "!"}, {3800, "a"}, {5700, "\r"}}, true, true, "a", 5700},
        Row{"GapOf2sFailsKeepingWhatCame", {{4, "!"}, {8, "ab"}, {2008, "c\r"}}, true, false, "ab", 2008},
        Row{"Answer1023CharactersIsAccepted",
            {{4, "!"}, {8, Long.left(1023) + "\r"}},
            true,
            true,
            Long.left(1023),
            8},
        Row{"EndlessAnswerIsCutAt1024",
            {{4, "!"}, {8, Long.left(999)}, {9, Long.left(99)}},
            true,
            false,
            Long.left(1024),
            9},
        Row{"NoReplyExpectedEndsWithTheCommand", {{4, "!"}, {8, "late\r"}}, true, true, "", 4, false},
        Row{"NoReplyExpectedStillNeedsTheAck", {}, false, false, "", 2000, false}),
    RowName);

} // namespace
