// One Modbus RTU poll: the exchange's rules against scripted devices on a
// fake time axis, and what it says on stderr.
#include "acquisition/ModbusExchange.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

// Ch.1 on device 3 (input register 1000, int16), Ch.2 on device 7 (holding
// registers 0 and 1, float32); 9600 bit/s 8E1, a 100 ms time-out, 5 ms silence.
const ModbusTiming Timing{{9600, Parity::Even, 1}, 100, 5};
const ModbusSources Sources{ModbusSource{3, ReadInputRegisters, 1000},
                            ModbusSource{7, ReadHoldingRegisters, 0, RegisterType::Float32}};
const QByteArray Ch1 = WithCrc(QByteArray::fromHex("030402FFF6"));     // -10
const QByteArray Ch2 = WithCrc(QByteArray::fromHex("0703043DCCCCCD")); // 0.1f

struct Reply {
    int request; // answers the n-th request written
    int afterMs;
    QByteArray bytes;
};

struct PollRow {
    const char* name;
    std::vector<Reply> replies;
    QString ch1, ch2;
    bool answered;
    QStringList problems;
    std::vector<int> writtenAtMs = {5, 15}; // silence, request 1, its reply at 10, silence, request 2
};

class ModbusPolls : public ::testing::TestWithParam<PollRow> {};

TEST_P(ModbusPolls, AskEveryDeviceAndSayWhatFailed) {
    const PollRow& row = GetParam();
    ModbusExchange x;
    std::vector<Reply> due; // by absolute time
    std::vector<int> writtenAt;
    int now = 0, deadline = -1;
    const auto apply = [&](const ModbusExchange::Actions& a) {
        if (!a.write.isEmpty()) {
            for (const Reply& r : row.replies)
                if (r.request == int(writtenAt.size()))
                    due.push_back({0, now + r.afterMs, r.bytes});
            writtenAt.push_back(now);
        }
        deadline = a.timeoutMs >= 0 ? now + a.timeoutMs : a.finished ? -1 : deadline;
        EXPECT_EQ(a.closePort, a.finished);
    };
    apply(x.Start(Sources, Timing));
    while (x.IsRunning() && now < 10000) {
        const auto next =
            std::min_element(due.begin(), due.end(), [](auto& a, auto& b) { return a.afterMs < b.afterMs; });
        if (next != due.end() && next->afterMs < deadline) {
            now = next->afterMs;
            const QByteArray bytes = next->bytes;
            due.erase(next);
            apply(x.BytesReceived(bytes));
        } else {
            now = deadline;
            apply(x.TimedOut());
        }
    }
    EXPECT_EQ(x.Readings()[0], row.ch1);
    EXPECT_EQ(x.Readings()[1], row.ch2);
    EXPECT_EQ(x.Readings()[2], "No Data") << "a channel without a source";
    EXPECT_EQ(x.Answered(), row.answered);
    QStringList problems;
    for (const auto& outcome : x.Outcomes())
        problems << outcome.source + ": " + outcome.problem;
    EXPECT_EQ(problems, row.problems);
    EXPECT_EQ(writtenAt, row.writtenAtMs);
}

const QString Fine3 = "Modbus device 3 (Ch.1): ", Fine7 = "Modbus device 7 (Ch.2): ";
QByteArray Flipped(QByteArray frame) {
    frame[frame.size() - 1] = char(frame.back() ^ 1);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ModbusPolls,
    ::testing::Values(PollRow{"BothAnswer", {{0, 5, Ch1}, {1, 4, Ch2}}, "-10", "0.1", true, {Fine3, Fine7}},
                      PollRow{"ASilentDeviceLeavesTheNextAsked",
                              {{1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "no reply within 100 ms", Fine7},
                              {5, 120}},
                      PollRow{"ItsLateReplyIsNotTakenForTheNext",
                              {{0, 118, Ch1}, {1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "no reply within 100 ms", Fine7},
                              {5, 120}},
                      PollRow{"WrongCrc",
                              {{0, 5, Flipped(Ch1)}, {1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "a frame with a wrong CRC", Fine7}},
                      PollRow{"Exception",
                              {{0, 5, WithCrc("\x03\x84\x06")}, {1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "device busy (exception 06)", Fine7}},
                      PollRow{"AnotherAddress",
                              {{0, 5, WithCrc(QByteArray::fromHex("040402FFF6"))}, {1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "a reply from address 4", Fine7}},
                      PollRow{"ShortFrame",
                              {{0, 5, Ch1.left(3)}, {1, 4, Ch2}},
                              "No Data",
                              "0.1",
                              true,
                              {Fine3 + "a frame cut short after 3 bytes", Fine7},
                              {5, 115}},
                      PollRow{"NoDeviceAnswers",
                              {},
                              "No Data",
                              "No Data",
                              false,
                              {Fine3 + "no reply within 100 ms", Fine7 + "no reply within 100 ms"},
                              {5, 120}}),
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
