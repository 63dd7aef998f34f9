#pragma once

#include "common/Channels.h"

#include <array>
#include <optional>

namespace tarvek {

// What the set-up says about the serial line and, for a Modbus RTU line,
// where each channel's reading lives. Plain values: the set-up file decodes
// into them, the exchange reads them.

enum class Parity { None, Even, Odd };

// The line's framing: 8 data bits always. The instrument of the serial line's
// own protocol talks at 2400 bit/s, 8N1.
struct LineSettings {
    int bitRate = 2400;
    Parity parity = Parity::None;
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// Bits on the wire for one byte: a start bit, 8 data bits, the parity bit
// when there is one, the stop bits.
constexpr int BitsPerByte(const LineSettings& line) {
    return 1 + 8 + (line.parity == Parity::None ? 0 : 1) + line.stopBits;
}

inline constexpr int ReadHoldingRegisters = 0x03;
inline constexpr int ReadInputRegisters = 0x04;

enum class RegisterType { Int16, Uint16, Int32, Uint32, Float32 };
// The order of the two registers of a 32-bit value; within a register the
// high byte always comes first.
enum class WordOrder { HighFirst, LowFirst };

constexpr int RegisterWidth(RegisterType type) {
    return type == RegisterType::Int16 || type == RegisterType::Uint16 ? 1 : 2;
}

// One channel's reading on a Modbus RTU line: the device, the function that
// reads it, its register as sent on the line (counted from 0), and how the
// register's bits are a number.
struct ModbusSource {
    int address = 1;
    int function = ReadHoldingRegisters;
    int reg = 0;
    RegisterType type = RegisterType::Int16;
    WordOrder order = WordOrder::HighFirst;
    bool operator==(const ModbusSource&) const = default;
};
// Per channel k; none: the channel is not read.
using ModbusSources = std::array<std::optional<ModbusSource>, ChannelCount>;

} // namespace tarvek
