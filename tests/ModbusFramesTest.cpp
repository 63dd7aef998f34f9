// The Modbus RTU frames as bytes alone: the Modbus standard's own example frames, the replies a line can
// bring, the reads a set-up needs, and the registers' values per type and word order.
#include "acquisition/ModbusFrames.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

const auto Hex = [](const char* hex) { return QByteArray::fromHex(hex); };
using S = ReplyCheck::Status;
// Read 3 holding registers from 0x6B of device 0x11.
const ModbusRead Holding3{0x11, ReadHoldingRegisters, 0x6B, 3, {}};

struct ReplyRow {
    const char *name, *hex;
    S status;
    QList<quint16> registers = {};
    QString problem = {};
};

class Replies : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(Replies, AreCheckedByAddressFunctionCountAndCrc) {
    const ReplyCheck check = CheckReply(Hex(GetParam().hex), Holding3);
    EXPECT_EQ(check.status, GetParam().status);
    EXPECT_EQ(check.registers, GetParam().registers);
    EXPECT_EQ(check.problem, GetParam().problem);
}

// CRCs as an implementation nobody here wrote computes them.
INSTANTIATE_TEST_SUITE_P(
    Frames, Replies,
    ::testing::Values(
        ReplyRow{"TheStandardsExample", "110306022B00000064C8BA", S::Values, {555, 0, 100}},
        ReplyRow{"IncompleteUntilItsCrc", "110306022B00000064C8", S::Incomplete},
        ReplyRow{"WrongCrc", "110306022B00000064C8BB", S::Broken, {}, "a frame with a wrong CRC"},
        ReplyRow{"Exception", "118302C134", S::Exception, {}, "illegal data address (exception 02)"},
        ReplyRow{"AnotherAddress", "120306022B00000064DC4A", S::Broken, {}, "a reply from address 18"},
        ReplyRow{"AnotherFunction", "110406022B00000064895C", S::Broken, {}, "a reply of function 04"},
        ReplyRow{"WrongByteCount", "110304022B00009A42", S::Broken, {}, "4 bytes of registers, not 6"},
        ReplyRow{"UnknownFunctionAtOnce", "111000", S::Broken, {}, "a frame of function 10"}),
    RowName);

TEST(ModbusFrames, RequestsCarryTheStandardsCrc) {
    const ModbusRead input8{0x11, ReadInputRegisters, 8, 1, {}};
    EXPECT_EQ(CheckReply(Hex("110402000AF8F4"), input8).registers, QList<quint16>{10});
    EXPECT_EQ((QByteArrayList{ReadRequest(Holding3).toHex(), ReadRequest(input8).toHex(),
                              ReadRequest({1, ReadHoldingRegisters, 0, 10, {}}).toHex(),
                              WithCrc(Hex("0A8102")).toHex()}),
              (QByteArrayList{"1103006b00037687", "110400080001b298", "01030000000ac5cd", "0a8102b053"}));
}

// Three and a half characters of silence end a frame; above 19200 bit/s, 1.75 ms.
TEST(ModbusFrames, FrameSilenceByBitRate) {
    for (const auto& [line, ms] : {std::pair{LineSettings{9600}, 3.5 * 10 / 9.6},
                                   {LineSettings{19200, Parity::Even}, 3.5 * 11 / 19.2},
                                   {{38400}, 1.75}})
        EXPECT_NEAR(FrameSilenceMilliseconds(line), ms, 1e-9) << line.bitRate;
}

TEST(ModbusFrames, ReadsGroupTouchingRegistersOfOneDeviceAndFunction) {
    using T = RegisterType;
    const int H = ReadHoldingRegisters, I = ReadInputRegisters;
    const auto at = [](int address, int function, int reg, T type = T::Int16) {
        return std::optional(ModbusSource{address, function, reg, type, WordOrder::HighFirst});
    };
    const ModbusSources sources{
        at(3, I, 1000), at(7, H, 0, T::Float32), at(3, I, 1001, T::Int32), at(3, H, 1002),
        std::nullopt,   at(7, H, 124),           at(7, H, 2, T::Float32),  at(3, I, 1000, T::Uint16)};
    // Another function apart, touching registers together, a gap apart.
    const std::vector<ModbusRead> expected{
        {3, H, 1002, 1, {3}}, {3, I, 1000, 3, {0, 7, 2}}, {7, H, 0, 4, {1, 6}}, {7, H, 124, 1, {5}}};
    EXPECT_EQ(PlanReads(sources), expected);
}

// Every type and word order against an independent implementation: see ModbusDevicesTest. Here what only the
// bits decide.
TEST(ModbusFrames, RegistersAreNumbersByTypeAndWordOrder) {
    using T = RegisterType;
    EXPECT_EQ(RegisterValue({0, 0xFFFF}, 1, T::Int16, WordOrder::HighFirst), -1.0);
    EXPECT_EQ(RegisterValue({0, 0x4148}, 0, T::Float32, WordOrder::LowFirst), 12.5);
    EXPECT_EQ(RegisterValue({0x7FC0, 0}, 0, T::Float32, WordOrder::HighFirst), std::nullopt)
        << "NaN is no reading";
}

} // namespace
