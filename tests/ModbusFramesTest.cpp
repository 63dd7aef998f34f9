// The Modbus RTU frames as bytes alone: the serial line specification's own
// example frames, the replies a line can bring, the reads a set-up needs,
// and the registers' values per type and word order.
#include "acquisition/ModbusFrames.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

using Status = ReplyCheck::Status;
const ModbusRead Holding3{0x11, ReadHoldingRegisters, 0x6B, 3, {}};

struct ReplyRow {
    const char* name;
    ModbusRead read;
    QByteArray bytes;
    Status status;
    QList<quint16> registers = {};
    QString problem = {};
};

class Replies : public ::testing::TestWithParam<ReplyRow> {};

TEST_P(Replies, AreCheckedByAddressFunctionCountAndCrc) {
    const ReplyRow& row = GetParam();
    const ReplyCheck check = CheckReply(row.bytes, row.read);
    EXPECT_EQ(check.status, row.status);
    EXPECT_EQ(check.registers, row.registers);
    EXPECT_EQ(check.problem, row.problem);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Replies,
    ::testing::Values(
        ReplyRow{"HoldingRegistersExample",
                 Holding3,
                 Hex("110306022B00000064C8BA"),
                 Status::Values,
                 {555, 0, 100}},
        ReplyRow{"InputRegisterExample",
                 {0x11, ReadInputRegisters, 8, 1, {}},
                 Hex("110402000AF8F4"),
                 Status::Values,
                 {10}},
        ReplyRow{"IncompleteUntilItsCrc", Holding3, Hex("110306022B00000064C8"), Status::Incomplete},
        ReplyRow{"WrongCrc",
                 Holding3,
                 Hex("110306022B00000064C8BB"),
                 Status::Broken,
                 {},
                 "a frame with a wrong CRC"},
        ReplyRow{"ExceptionByName",
                 Holding3,
                 Hex("118302C134"),
                 Status::Exception,
                 {},
                 "illegal data address (exception 02)"},
        ReplyRow{"DeviceBusy",
                 {0x11, ReadInputRegisters, 8, 1, {}},
                 WithCrc(Hex("118406")),
                 Status::Exception,
                 {},
                 "device busy (exception 06)"},
        ReplyRow{"AnotherAddress",
                 Holding3,
                 WithCrc(Hex("120306022B00000064")),
                 Status::Broken,
                 {},
                 "a reply from address 18"},
        ReplyRow{"AnotherFunction",
                 Holding3,
                 WithCrc(Hex("110406022B00000064")),
                 Status::Broken,
                 {},
                 "a reply of function 04"},
        ReplyRow{"WrongByteCount",
                 Holding3,
                 WithCrc(Hex("110304022B0000")),
                 Status::Broken,
                 {},
                 "4 bytes of registers, not 6"},
        ReplyRow{
            "UnknownFunctionAtOnce", Holding3, Hex("111000"), Status::Broken, {}, "a frame of function 10"}),
    RowName);

TEST(ModbusFrames, RequestsCarryTheSpecificationsCrc) {
    EXPECT_EQ(ReadRequest(Holding3).toHex(), "1103006b00037687");
    EXPECT_EQ(ReadRequest({0x11, ReadInputRegisters, 8, 1, {}}).toHex(), "110400080001b298");
    EXPECT_EQ(ReadRequest({1, ReadHoldingRegisters, 0, 10, {}}).toHex(), "01030000000ac5cd");
    EXPECT_EQ(WithCrc(Hex("0A8102")).toHex(), "0a8102b053");
}

TEST(ModbusFrames, ReadsGroupTouchingRegistersOfOneDeviceAndFunction) {
    const auto at = [](int address, int function, int reg, RegisterType type = RegisterType::Int16) {
        return std::optional(ModbusSource{address, function, reg, type, WordOrder::HighFirst});
    };
    const int H = ReadHoldingRegisters, I = ReadInputRegisters;
    const ModbusSources sources{at(3, I, 1000),
                                at(7, H, 0, RegisterType::Float32),
                                at(3, I, 1001, RegisterType::Int32),
                                at(3, H, 1002),
                                std::nullopt,
                                at(7, H, 124),
                                at(7, H, 2, RegisterType::Float32),
                                at(3, I, 1000, RegisterType::Uint16)};
    const std::vector<ModbusRead> expected{
        {3, H, 1002, 1, {3}},
        {3, I, 1000, 3, {0, 7, 2}}, // another function, then the touching ones
        {7, H, 0, 4, {1, 6}},
        {7, H, 124, 1, {5}}}; // a gap splits
    EXPECT_EQ(PlanReads(sources), expected);
}

TEST(ModbusFrames, RegistersAreNumbersByTypeAndWordOrder) {
    using T = RegisterType;
    const auto value = [](QList<quint16> r, T type, WordOrder order = WordOrder::HighFirst) {
        return RegisterValue(r, 1, type, order);
    };
    EXPECT_EQ(value({0, 0xFFFF}, T::Int16), -1.0);
    EXPECT_EQ(value({0, 0xFFFF}, T::Uint16), 65535.0);
    EXPECT_EQ(value({0, 0xFFFF, 0xFFFE}, T::Int32), -2.0);
    EXPECT_EQ(value({0, 0xFFFE, 0xFFFF}, T::Int32, WordOrder::LowFirst), -2.0);
    EXPECT_EQ(value({0, 0x8000, 0x0001}, T::Uint32), 2147483649.0);
    EXPECT_EQ(value({0, 0x4148, 0}, T::Float32), 12.5);
    EXPECT_EQ(value({0, 0, 0x4148}, T::Float32, WordOrder::LowFirst), 12.5);
    EXPECT_EQ(value({0, 0x7FC0, 0}, T::Float32), std::nullopt) << "NaN is no reading";
}

TEST(ModbusFrames, TimesOnTheWireFollowTheFraming) {
    EXPECT_NEAR(WireMilliseconds(8, {9600, Parity::None, 1}), 8.333, 0.001);
    EXPECT_NEAR(WireMilliseconds(8, {9600, Parity::Even, 1}), 9.167, 0.001);
    EXPECT_NEAR(FrameSilenceMilliseconds({9600, Parity::Even, 1}), 4.010, 0.001);
    EXPECT_EQ(FrameSilenceMilliseconds({38400, Parity::None, 2}), 1.75);
}

} // namespace
