#include "instrument/ModbusResponder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace instrument {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t RequestLength = 8; // address, function, first, count, CRC
constexpr int MaxCount = 125;
constexpr auto LateBy = 1500ms;
constexpr int IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3, DeviceBusy = 6;
constexpr int MaxAddress = 247;

// The CRC-16 of the serial line, by the usual 256-entry table.
std::uint16_t Crc(std::string_view bytes) {
    static const auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < t.size(); ++i) {
            unsigned v = i;
            for (int bit = 0; bit < 8; ++bit)
                v = (v & 1) ? (v >> 1) ^ 0xA001u : v >> 1;
            t[i] = static_cast<std::uint16_t>(v);
        }
        return t;
    }();
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ static_cast<unsigned char>(c)) & 0xFF]);
    return crc;
}

std::string Framed(std::string frame) {
    const std::uint16_t crc = Crc(frame);
    frame += static_cast<char>(crc & 0xFF);
    frame += static_cast<char>(crc >> 8);
    return frame;
}

int At(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// The 16-bit words of one value, in the order they sit in the registers.
bool Words(const std::string& value, const std::string& type, const std::string& order,
           std::vector<std::uint16_t>& words) {
    std::size_t end = 0;
    try {
        if (type == "float32") {
            const auto bits = std::bit_cast<std::uint32_t>(std::stof(value, &end));
            words = {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits)};
        } else if (type == "int32" || type == "uint32") {
            const auto bits = static_cast<std::uint32_t>(std::stoll(value, &end, 0));
            words = {static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits)};
        } else if (type == "int16" || type == "uint16") {
            words = {static_cast<std::uint16_t>(std::stol(value, &end, 0))};
        } else {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    if (order == "low-first")
        std::reverse(words.begin(), words.end());
    return end == value.size() && (order == "high-first" || order == "low-first");
}

} // namespace

std::string ReadRegisters(std::istream& in, ModbusDevices& devices) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream fields(line.substr(0, line.find('#')));
        int address = 0, reg = -1;
        std::string table, value, type = "int16", order = "high-first", rest;
        if (!(fields >> address))
            continue; // blank or a comment
        fields >> table >> reg >> value;
        if (fields >> type)
            fields >> order;
        std::vector<std::uint16_t> words;
        const int function = table == "holding" ? 3 : table == "input" ? 4 : 0;
        if (address < 1 || address > MaxAddress || function == 0 || reg < 0 || reg > 0xFFFF ||
            !Words(value, type, order, words) || reg + words.size() > 0x10000 || (fields >> rest))
            return "line " + std::to_string(number) + ": \"" + line +
                   "\" is no ADDRESS TABLE REGISTER VALUE [TYPE [ORDER]]";
        for (std::size_t i = 0; i < words.size(); ++i)
            devices[address].registers[{function, reg + static_cast<int>(i)}] = words[i];
    }
    return {};
}

ModbusResponder::ModbusResponder(ModbusDevices devices, int bitRate, Log log)
    : devices_(std::move(devices)),
      byteTime_(bitRate > 0 ? std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::microseconds(11 * 1000000 / bitRate))
                            : Clock::duration::zero()),
      log_(std::move(log)) {}

void ModbusResponder::Received(std::string_view bytes, Clock::time_point now) {
    for (const char c : bytes) {
        // A pause of 3.5 bytes ends a frame, whatever it held.
        if (!request_.empty() && now - lastByte_ > byteTime_ * 7 / 2)
            request_.clear();
        request_ += c;
        lastByte_ = now;
        if (request_.size() == RequestLength)
            Request(now);
    }
}

void ModbusResponder::Request(Clock::time_point now) {
    const std::string frame = std::exchange(request_, {});
    const int address = At(frame, 0), function = At(frame, 1);
    const auto device = devices_.find(address);
    if (Crc(frame.substr(0, RequestLength - 2)) != (At(frame, 6) | At(frame, 7) << 8)) {
        Note("a request with a wrong CRC, not answered");
        return;
    }
    if (device == devices_.end())
        return; // no device at that address: the line stays silent
    const int first = At(frame, 2) << 8 | At(frame, 3), count = At(frame, 4) << 8 | At(frame, 5);
    const ModbusFault fault = device->second.fault;
    Note("device " + std::to_string(address) + ": function " + std::to_string(function) + ", " +
         std::to_string(count) + " registers from " + std::to_string(first) +
         (fault == ModbusFault::Silent ? ", staying silent" : ""));
    if (fault == ModbusFault::Silent)
        return;
    std::string reply = Reply(device->second, address, function, first, count);
    if (fault == ModbusFault::Crc)
        reply.back() = static_cast<char>(reply.back() ^ 0x01);
    if (fault == ModbusFault::OtherAddress)
        reply = Framed(static_cast<char>(address % MaxAddress + 1) + reply.substr(1, reply.size() - 3));
    Queue(reply, fault == ModbusFault::Late ? now + LateBy : now);
}

std::string ModbusResponder::Reply(const ModbusDevice& device, int address, int function, int first,
                                   int count) const {
    const auto refused = [&](int code) {
        return Framed(
            {static_cast<char>(address), static_cast<char>(function | 0x80), static_cast<char>(code)});
    };
    if (device.fault == ModbusFault::Exception)
        return refused(DeviceBusy);
    if (function != 3 && function != 4)
        return refused(IllegalFunction);
    if (count < 1 || count > MaxCount)
        return refused(IllegalValue);
    std::string reply{static_cast<char>(address), static_cast<char>(function), static_cast<char>(2 * count)};
    for (int r = first; r < first + count; ++r) {
        const auto word = device.registers.find({function, r});
        if (word == device.registers.end())
            return refused(IllegalAddress);
        reply += static_cast<char>(word->second >> 8);
        reply += static_cast<char>(word->second & 0xFF);
    }
    return Framed(reply);
}

// After 3.5 bytes of silence, one byte after the other at the line's pace.
void ModbusResponder::Queue(const std::string& frame, Clock::time_point start) {
    Clock::time_point due = std::max(start, out_.empty() ? start : out_.back().due) + byteTime_ * 7 / 2;
    for (const char c : frame)
        out_.push_back({c, due += byteTime_});
}

Answerer::Output ModbusResponder::Due(Clock::time_point now) {
    Output output;
    for (auto b = out_.begin(); b != out_.end() && b->due <= now; ++b)
        output.bytes += b->byte;
    return output;
}

void ModbusResponder::Sent(std::size_t count, Clock::time_point) {
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(std::min(count, out_.size())));
}

std::optional<Clock::time_point> ModbusResponder::NextDue() const {
    if (out_.empty())
        return std::nullopt;
    return out_.front().due;
}

// What was still to go out (a late reply) is lost with the program's end.
void ModbusResponder::ProgramClosed() {
    request_.clear();
    out_.clear();
    Note("the program closed the line");
}

void ModbusResponder::Note(const std::string& line) const {
    if (log_)
        log_(line);
}

} // namespace instrument
