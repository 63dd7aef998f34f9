#pragma once

// Simulated Modbus RTU devices sharing one line, as rules only: each answers
// reads of its holding (function 03) and input (function 04) registers from
// a registers file, and may misbehave in one of the ways a real line does.
// Its frames are built by its own table-driven CRC, not the logger's, so a
// fault in one cannot hide in the other.
#include "instrument/Answerer.h"

#include <cstdint>
#include <deque>
#include <istream>
#include <map>

namespace instrument {

enum class ModbusFault { None, Silent, Crc, Exception, Late, OtherAddress };

struct ModbusFaultInfo {
    const char* name;
    ModbusFault fault;
    const char* what;
};

inline constexpr ModbusFaultInfo ModbusFaults[] = {
    {"silent", ModbusFault::Silent, "never answers"},
    {"crc", ModbusFault::Crc, "answers with a wrong CRC"},
    {"exception", ModbusFault::Exception, "answers every read with exception 06 (device busy)"},
    {"late", ModbusFault::Late, "answers 1.5 s late, after the longest reply time-out the logger allows"},
    {"other-address", ModbusFault::OtherAddress, "answers as if it were the device at the next address"},
};

struct ModbusDevice {
    std::map<std::pair<int, int>, std::uint16_t> registers; // (function, register) -> its 16 bits
    ModbusFault fault = ModbusFault::None;
};
using ModbusDevices = std::map<int, ModbusDevice>; // by address

// Reads a registers file into `devices`: one value a line,
//   ADDRESS TABLE REGISTER VALUE [TYPE [ORDER]]
// TABLE "holding" or "input", REGISTER as sent on the line (from 0), TYPE
// int16 (the default), uint16, int32, uint32 or float32, ORDER "high-first"
// (the default) or "low-first" for the two registers of a 32-bit value; "#"
// begins a comment. Empty when it is read, else what is wrong and where.
std::string ReadRegisters(std::istream& in, ModbusDevices& devices);

class ModbusResponder final : public Answerer {
  public:
    // Bytes go out at `bitRate` (0: at once), 11 bits a byte as on an 8E1
    // line, a reply after 3.5 bytes of silence.
    ModbusResponder(ModbusDevices devices, int bitRate, Log log = {});

    void Received(std::string_view bytes, Clock::time_point now) override;
    Output Due(Clock::time_point now) override;
    void Sent(std::size_t count, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDue() const override;
    void HungUp() override { out_.clear(); }
    void ProgramClosed() override;
    void DropOutput() override { out_.clear(); }

  private:
    struct Byte {
        char byte;
        Clock::time_point due;
    };

    void Request(Clock::time_point now);
    std::string Reply(const ModbusDevice& device, int address, int function, int first, int count) const;
    void Queue(const std::string& frame, Clock::time_point start);
    void Note(const std::string& line) const;

    ModbusDevices devices_;
    Clock::duration byteTime_;
    Log log_;
    std::string request_; // the bytes of the request being received
    Clock::time_point lastByte_;
    std::deque<Byte> out_;
};

} // namespace instrument
