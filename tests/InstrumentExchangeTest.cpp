// The exchange rules, run against scripted lines on a fake time axis: each
// script says which bytes arrive when, and the reply time-out fires whenever
// 2000 ms pass without a restart.
#include "acquisition/InstrumentExchange.h"

#include "TestSupport.h"

#include <vector>

namespace {

constexpr int TimeoutMs = 2000;

struct Arrival {
    int atMs;
    QByteArray bytes;
};
using Script = std::vector<Arrival>;

// `bytes` one at a time, the first at `startMs`, then every `everyMs`.
Script OneByOne(const QByteArray& bytes, int startMs, int everyMs) {
    Script s;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        s.push_back({startMs + static_cast<int>(i) * everyMs, bytes.mid(i, 1)});
    return s;
}

Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QByteArray Readings(int length) {
    QByteArray r;
    for (int i = 0; r.size() < length; ++i)
        r += QByteArray::number(10000000 + i * 1234567).left(8).replace(0, 1, i % 2 ? "-" : "+");
    return r.left(length);
}

// What the driver would see and do, with time in milliseconds.
struct Outcome {
    QByteArray written;
    int discards = 0;
    int closes = 0;
    int endedAtMs = -1;
    bool complete = false;
    QByteArray reply;
};

Outcome Play(const Script& script, bool replyExpected = true) {
    InstrumentExchange x;
    Outcome run;
    int deadline = -1;
    auto apply = [&](const InstrumentExchange::Actions& a, int now) {
        EXPECT_EQ(run.endedAtMs, -1) << "action after the end at " << now << " ms";
        run.discards += a.discardWaiting ? 1 : 0;
        run.written += a.write;
        if (a.restartTimeout)
            deadline = now + TimeoutMs;
        run.closes += a.closePort ? 1 : 0;
        EXPECT_EQ(a.closePort, a.finished) << "the port closes exactly when the exchange ends";
        if (a.finished)
            run.endedAtMs = now;
    };
    apply(x.Start(128, "K", replyExpected), 0);
    for (const Arrival& step : script) {
        if (run.endedAtMs >= 0)
            break;
        if (deadline >= 0 && deadline <= step.atMs) {
            apply(x.TimedOut(), deadline);
            break;
        }
        apply(x.BytesReceived(step.bytes), step.atMs);
    }
    if (run.endedAtMs < 0 && deadline >= 0)
        apply(x.TimedOut(), deadline);
    // Whatever else happens afterwards changes nothing.
    const auto late = x.BytesReceived(QByteArray("!\r"));
    EXPECT_TRUE(late.write.isEmpty() && !late.closePort && !late.finished && !late.restartTimeout);
    EXPECT_FALSE(x.TimedOut().finished);
    EXPECT_FALSE(x.PortFailed().finished);
    run.complete = x.ReplyComplete();
    run.reply = x.ReplyText();
    EXPECT_EQ(x.CurrentPhase(), InstrumentExchange::Phase::Finished);
    return run;
}

const QByteArray Select("\x80");
const QByteArray SelectAndCommand("\x80K\r");

struct ExchangeCase {
    const char* name;
    Script script;
    bool replyExpected;
    bool complete;
    QByteArray reply;
    QByteArray written;
    int discards;
    int endedAtMs;
};

void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.name;
}

const QByteArray Answer64 = Readings(64);

std::vector<ExchangeCase> Cases() {
    std::vector<ExchangeCase> cases = {
        {"AnswerInOneChunk",
         {{30, "!"}, {60, Answer64 + "\r"}},
         true,
         true,
         Answer64,
         SelectAndCommand,
         1,
         60},
        {"AnswerAtLineRate", Script{{4, "!"}} + OneByOne(Answer64 + "\r", 12, 4), true, true, Answer64,
         SelectAndCommand, 1, 12 + 64 * 4},
        {"EchoFirstFailsEvenIfAckFollows",
         {{4, "\x80"}, {8, "!"}, {20, Answer64 + "\r"}},
         true,
         false,
         "",
         Select,
         0,
         4},
        {"EchoAndAckInOneChunkFail", {{4, "\x80!"}}, true, false, "", Select, 0, 4},
        {"WrongAcknowledgementFails", {{4, "?"}}, true, false, "", Select, 0, 4},
        {"BytesWithTheAckAreDropped",
         {{4, "!junk"}, {40, "+0000001\r"}},
         true,
         true,
         "+0000001",
         SelectAndCommand,
         1,
         40},
        {"CarriageReturnFirstIsAnEmptyAnswer", {{4, "!"}, {8, "\r"}}, true, true, "", SelectAndCommand, 1, 8},
        {"AnswerLongerThan64StaysWhole",
         {{4, "!"}, {8, Readings(100) + "\r"}},
         true,
         true,
         Readings(100),
         SelectAndCommand,
         1,
         8},
        {"WhatFollowsTheCarriageReturnIsLost",
         {{4, "!"}, {8, "abc\r\ndef"}},
         true,
         true,
         "abc",
         SelectAndCommand,
         1,
         8},
        {"AckAt1999msIsInTime", {{1999, "!"}, {2100, "x\r"}}, true, true, "x", SelectAndCommand, 1, 2100},
        {"AckAt2000msIsTooLate", {{2000, "!"}}, true, false, "", Select, 0, 2000},
        {"SilenceTimesOutAfterTheSelectByte", {}, true, false, "", Select, 0, 2000},
        {"NoAnswerAfterTheCommand", {{10, "!"}}, true, false, "", SelectAndCommand, 1, 2010},
        {"FirstCharacterCountsFromTheCommand",
         {{1500, "!"}, {3400, "a\r"}},
         true,
         true,
         "a",
         SelectAndCommand,
         1,
         3400},
        {"OneCharacterEvery1900msIsAccepted", Script{{1900, "!"}} + OneByOne(Answer64 + "\r", 3800, 1900),
         true, true, Answer64, SelectAndCommand, 1, 3800 + 64 * 1900},
        {"GapOf1999msIsAccepted",
         {{4, "!"}, {8, "abc"}, {2007, "def\r"}},
         true,
         true,
         "abcdef",
         SelectAndCommand,
         1,
         2007},
        {"GapOf2sFailsKeepingWhatCame",
         Script{{4, "!"}} + OneByOne(Answer64.left(32), 8, 4) +
             OneByOne(Answer64.mid(32) + "\r", 132 + 2000, 4),
         true, false, Answer64.left(32), SelectAndCommand, 1, 132 + 2000},
        {"EndlessAnswerIsCutAt1024", Script{{4, "!"}} + OneByOne(Readings(3000), 8, 4), true, false,
         Readings(1024), SelectAndCommand, 1, 8 + 1023 * 4},
        {"EndlessAnswerInChunksIsCutAt1024",
         {{4, "!"}, {8, Readings(1000)}, {12, Readings(1000)}},
         true,
         false,
         Readings(1000) + Readings(24),
         SelectAndCommand,
         1,
         12},
        {"Answer1023CharactersIsAccepted",
         {{4, "!"}, {8, Readings(1023) + "\r"}},
         true,
         true,
         Readings(1023),
         SelectAndCommand,
         1,
         8},
        {"NoReplyExpectedEndsWithTheCommand",
         {{4, "!"}, {8, "late\r"}},
         false,
         true,
         "",
         SelectAndCommand,
         1,
         4},
        {"NoReplyExpectedStillNeedsTheAck", {}, false, false, "", Select, 0, 2000},
    };
    return cases;
}

} // namespace

class ExchangeTable : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(ExchangeTable, EndsAsTheLineDictates) {
    const ExchangeCase& c = GetParam();
    const Outcome run = Play(c.script, c.replyExpected);
    EXPECT_EQ(run.complete, c.complete);
    EXPECT_EQ(run.reply, c.reply);
    EXPECT_EQ(run.written, c.written);
    EXPECT_EQ(run.discards, c.discards);
    EXPECT_EQ(run.closes, 1);
    EXPECT_EQ(run.endedAtMs, c.endedAtMs);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ExchangeTable, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InstrumentExchange, AcknowledgementDropsWaitingBytesBeforeWritingTheCommandInOnePiece) {
    InstrumentExchange x;
    const auto start = x.Start(128, "K", true);
    EXPECT_EQ(start.write, QByteArray("\x80"));
    EXPECT_TRUE(start.restartTimeout);
    EXPECT_FALSE(start.discardWaiting || start.closePort || start.finished);

    const auto ack = x.BytesReceived('!');
    EXPECT_TRUE(ack.discardWaiting); // carried out before the write
    EXPECT_EQ(ack.write, QByteArray("K\r"));
    EXPECT_TRUE(ack.restartTimeout);
    EXPECT_FALSE(ack.closePort || ack.finished);
    EXPECT_EQ(x.CurrentPhase(), InstrumentExchange::Phase::AwaitingReply);
}

TEST(InstrumentExchange, SelectByteIsTheLowByteOfTheCodeAndTheCommandIsSentAsGiven) {
    InstrumentExchange x;
    EXPECT_EQ(x.Start(5, "XY", true).write, QByteArray("\x05"));
    EXPECT_EQ(x.BytesReceived('!').write, QByteArray("XY\r"));
    InstrumentExchange y;
    EXPECT_EQ(y.Start(0x180, "", true).write, QByteArray("\x80"));
    EXPECT_EQ(y.BytesReceived('!').write, QByteArray("\r"));
}

TEST(InstrumentExchange, PortFailureEndsTheExchangeKeepingWhatCame) {
    InstrumentExchange x;
    x.Start(128, "K", true);
    x.BytesReceived('!');
    x.BytesReceived("+00123");
    const auto failed = x.PortFailed();
    EXPECT_TRUE(failed.closePort);
    EXPECT_TRUE(failed.finished);
    EXPECT_FALSE(x.ReplyComplete());
    EXPECT_EQ(x.ReplyText(), QByteArray("+00123"));

    InstrumentExchange y;
    y.Start(128, "K", true);
    EXPECT_TRUE(y.PortFailed().finished);
    EXPECT_FALSE(y.ReplyComplete());
}
