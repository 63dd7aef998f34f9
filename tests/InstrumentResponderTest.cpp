// The simulated instrument's answers, mode by mode, on a fake time axis (the program's own tests run against
// it, so a fault here could hide one there). The program polls at 0 ms, and at 100 ms for a second poll. A
// transcript is what the instrument sends in its first 5 s or 200 bytes: <N ms> where time has passed, R for
// eight readings, |hang-up| where it closes the line.
#include "instrument/ModbusResponder.h"
#include "instrument/Responder.h"
#include "support/TestSupport.h"

#include <QRegularExpression>

#include <sstream>

namespace {

using instrument::Clock;
using instrument::Mode;
using namespace std::chrono_literals;

struct ResponderCase {
    const char* name;
    Mode mode;
    std::string transcript;
    int polls = 1;
    bool pacing = false;
    Clock::duration horizon = 5s;
};

std::string Transcript(const ResponderCase& c) {
    instrument::Responder responder(c.mode, c.pacing, Clock::time_point{});
    std::string out;
    int polled = 0;
    Clock::time_point shown{};
    for (Clock::time_point now{}; now <= Clock::time_point(c.horizon) && out.size() < 200;) {
        for (; polled < c.polls && Clock::time_point(polled * 100ms) <= now; ++polled)
            responder.Received("\x80K\r", now);
        const instrument::Responder::Output due = responder.Due(now);
        if (!due.bytes.empty() && shown != now)
            out += "<" + std::to_string(now.time_since_epoch() / 1ms) + " ms>";
        shown = due.bytes.empty() ? shown : now;
        out += due.bytes;
        responder.Sent(due.bytes.size(), now);
        if (due.hangUp)
            out += "|hang-up|", responder.HungUp();
        std::optional<Clock::time_point> next = responder.NextDue();
        if (polled < c.polls && (!next || Clock::time_point(polled * 100ms) < *next))
            next = Clock::time_point(polled * 100ms);
        if (!next)
            break;
        now = *next;
    }
    static const QRegularExpression readings(QStringLiteral("([+-][0-9]{7}){8}"));
    return QString::fromLatin1(out).replace(readings, QStringLiteral("R")).toLatin1().toStdString();
}

} // namespace

class InstrumentModes : public ::testing::TestWithParam<ResponderCase> {};

TEST_P(InstrumentModes, AnswerThePollAsTheModeSays) {
    EXPECT_EQ(Transcript(GetParam()), GetParam().transcript);
}

using Row = ResponderCase;
INSTANTIATE_TEST_SUITE_P(
    Modes, InstrumentModes,
    ::testing::Values(
        Row{"Normal", Mode::Normal, "!R\r"}, Row{"Silent", Mode::Silent, ""},
        Row{"Echo", Mode::Echo, "\x80!R\r"}, Row{"WrongAckIgnoresTheCommand", Mode::WrongAck, "?"},
        Row{"EndlessNeverEnds", Mode::Endless, "!RRRR"}, Row{"Slow", Mode::Slow, "!<1900 ms>+<3800 ms>0"},
        Row{"PacedAt2400Bits", Mode::Normal, "<4 ms>!<8 ms>+<12 ms>0", 1, true, 13ms},
        Row{"Gap", Mode::Gap, "!+0012345+0100000+0250000+1336588<2500 ms>+0050000+0007500-0004321+0000000\r"},
        Row{"Invalid", Mode::Invalid, "!+0012345+0100000+0250000+1336588+0=50000+0007500-0004321+0000000\r"},
        Row{"HangupEveryOther", Mode::Hangup, "!+0012345+0100000+0250000+1336588|hang-up|<100 ms>!R\r", 2}),
    RowName);

// The rounds of the alarm modes, ten polls each: channel 1's reading (its first two digits) in each answer of
// excursion, and which polls pause answers ("-": silent).
TEST(InstrumentRounds, ExcursionCrossesAndComesBackAndPauseFallsSilentForFourPolls) {
    for (const auto& [mode, rounds] : {std::pair(Mode::Excursion, "12 20 20 20 14 12 12 12 12 20 "),
                                       std::pair(Mode::Pause, "12 12 - - - - 12 12 12 12 ")}) {
        instrument::Responder responder(mode, false, Clock::time_point{});
        std::string seen;
        for (int poll = 1; poll <= 10; ++poll) {
            const Clock::time_point at{std::chrono::seconds(15 * poll)};
            responder.Received("\x80K\r", at);
            const std::string out = responder.Due(at).bytes;
            responder.Sent(out.size(), at);
            seen += out.empty() ? "- " : out.substr(4, 2) + " ";
        }
        EXPECT_EQ(seen, rounds) << instrument::ModeName(mode);
    }
}

// The simulated Modbus RTU devices, on a fake time axis: device 1 holds 0x1234 in holding register 0, then
// 12.5 low word first; what it sends to one request (reading register 0 unless said), and when.
TEST(ModbusDevices, AnswerAsTheirRegistersAndFaultSay) {
    using F = instrument::ModbusFault;
    struct DeviceRow {
        const char* name;
        F fault;
        std::string reply; // hex, as far as due at `atMs`
        int atMs, bitRate = 0;
        const char* request = "010300000001840A";
    };
    const DeviceRow rows[] = {
        {"Answers", F::None, "0103021234b533", 0},
        {"Float32LowFirst", F::None, "01030400004148ca55", 0, 0, "01030001000295CB"},
        {"PacedAfterASilence", F::None, "01", 5, 9600},
        {"Silent", F::Silent, "", -1},
        {"WrongCrc", F::Crc, "0103021234b532", 0},
        {"Exception", F::Exception, "018306c132", 0},
        {"Late", F::Late, "0103021234b533", 1500},
        {"OtherAddress", F::OtherAddress, "0203021234f133", 0},
        {"RegisterItDoesNotHave", F::None, "018302c0f1", 0, 0, "010300050001940B"},
    };
    for (const DeviceRow& row : rows) {
        instrument::ModbusDevices devices;
        std::istringstream file(
            "# device 1\n1 holding 0 0x1234\n1 holding 1 12.5 float32 low-first\n1 input 9 1.5\n");
        ASSERT_EQ(instrument::ReadRegisters(file, devices),
                  "line 4: \"1 input 9 1.5\" is no ADDRESS TABLE REGISTER VALUE [TYPE [ORDER]]");
        devices[1].fault = row.fault;
        instrument::ModbusResponder responder(devices, row.bitRate);
        responder.Received(QByteArray::fromHex(row.request).toStdString(), Clock::time_point{});
        const std::optional<Clock::time_point> due = responder.NextDue();
        const std::string out = due ? responder.Due(*due).bytes : "";
        EXPECT_EQ(QByteArray::fromStdString(out).toHex().toStdString(), row.reply) << row.name;
        EXPECT_EQ(due ? int((*due - Clock::time_point{}) / 1ms) : -1, row.atMs) << row.name;
    }
}
