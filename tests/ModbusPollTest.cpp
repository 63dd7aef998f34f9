// One Modbus RTU poll: the exchange's rules against scripted devices on a fake time axis, and its notes.
#include "acquisition/ModbusExchange.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

// Ch.1 on device 3 (input register 1000, int16), Ch.2 on device 7 (holding registers 0 and 1, float32); 9600
// bit/s 8E1, a 100 ms time-out, 5 ms silence.
const ModbusTiming Timing{{9600, Parity::Even, 1}, 100, 5};
const ModbusSources Sources{ModbusSource{3, ReadInputRegisters, 1000},
                            ModbusSource{7, ReadHoldingRegisters, 0, RegisterType::Float32}};
const QByteArray Ch1 = WithCrc(QByteArray::fromHex("030402FFF6"));     // -10
const QByteArray Ch2 = WithCrc(QByteArray::fromHex("0703043DCCCCCD")); // 0.1f
const QString Silent = "no reply within 100 ms";

// Device 3's reply to the first request (none: silent), `afterMs` after it; device 7 answers the second 4 ms
// after it, unless it is silent too.
struct PollRow {
    const char* name;
    QByteArray reply3;
    int afterMs, secondRequestAtMs; // the second: the silence kept after the first read's end
    QString ch1, problem3;
    bool sevenAnswers = true;
};

class ModbusPolls : public ::testing::TestWithParam<PollRow> {};

TEST_P(ModbusPolls, AskEveryDeviceAndSayWhatFailed) {
    const PollRow& row = GetParam();
    ModbusExchange x;
    std::multimap<int, QByteArray> due; // at ms
    std::vector<int> writtenAt;
    int now = 0, deadline = -1;
    const auto apply = [&](const ModbusExchange::Actions& a) {
        if (!a.write.isEmpty()) {
            if (writtenAt.empty() && !row.reply3.isEmpty())
                due.emplace(now + row.afterMs, row.reply3);
            if (writtenAt.size() == 1 && row.sevenAnswers)
                due.emplace(now + 4, Ch2);
            writtenAt.push_back(now);
        }
        deadline = a.timeoutMs >= 0 ? now + a.timeoutMs : a.finished ? -1 : deadline;
        EXPECT_EQ(a.closePort, a.finished);
    };
    apply(x.Start(Sources, Timing));
    while (x.IsRunning() && now < 10000) {
        now = !due.empty() && due.begin()->first < deadline ? due.begin()->first : deadline;
        apply(now == deadline ? x.TimedOut() : x.BytesReceived(due.extract(due.begin()).mapped()));
    }
    EXPECT_EQ(x.Readings()[0], row.ch1);
    EXPECT_EQ(x.Readings()[1], row.sevenAnswers ? "0.1" : "No Data");
    EXPECT_EQ(x.Answered(), row.sevenAnswers || row.ch1 != "No Data");
    QStringList problems;
    for (const auto& outcome : x.Outcomes())
        problems << outcome.source + ": " + outcome.problem;
    EXPECT_EQ(problems, (QStringList{"Modbus device 3 (Ch.1): " + row.problem3,
                                     "Modbus device 7 (Ch.2): " + (row.sevenAnswers ? "" : Silent)}));
    EXPECT_EQ(writtenAt, (std::vector<int>{5, row.secondRequestAtMs}));
}

using Row = PollRow;
INSTANTIATE_TEST_SUITE_P(
    Lines, ModbusPolls,
    ::testing::Values(
        Row{"BothAnswer", Ch1, 5, 15, "-10", ""},
        Row{"ASilentDeviceLeavesTheNextAsked", {}, 0, 120, "No Data", Silent},
        Row{"ItsLateReplyIsNotTakenForTheNext", Ch1, 118, 120, "No Data", Silent},
        Row{"WrongCrc", Ch1.chopped(1) + char(Ch1.back() ^ 1), 5, 15, "No Data", "a frame with a wrong CRC"},
        Row{"Exception", WithCrc("\x03\x84\x06"), 5, 15, "No Data", "device busy (exception 06)"},
        Row{"ShortFrame", Ch1.left(3), 5, 115, "No Data", "a frame cut short after 3 bytes"},
        Row{"NoDeviceAnswers", {}, 0, 120, "No Data", Silent, false}),
    RowName);

TEST(ModbusNotes, SayAProblemOnceAndWhenItEnds) {
    ModbusNotes notes;
    const auto follow = [&](const QString& problem) {
        return notes.Follow({{"Modbus device 3 (Ch.1)", problem}});
    };
    EXPECT_EQ(follow("device busy (exception 06)"),
              QStringList{"Modbus device 3 (Ch.1): device busy (exception 06); its channels read No Data"});
    EXPECT_EQ(follow("device busy (exception 06)"), QStringList{});
    EXPECT_EQ(follow("no reply within 100 ms").size(), 1);
    EXPECT_EQ(follow(""), QStringList{"Modbus device 3 (Ch.1) gives values again"});
    EXPECT_EQ(follow(""), QStringList{});
}

} // namespace
