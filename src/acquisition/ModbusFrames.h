#pragma once

#include "common/Channels.h"
#include "config/InstrumentLine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace tarvek {

// The frames of a Modbus RTU line as rules over bytes: no port, no clock.
// A frame is the device's address, the function, its data, and the CRC low
// byte first.

quint16 ModbusCrc(QByteArrayView bytes);
// `frame` with its CRC appended.
QByteArray WithCrc(QByteArray frame);

// A device answers at most this many registers to one read (eight channels
// of touching registers need 16 at most: the limit only guards the frame).
inline constexpr int MaxReadRegisters = 125;

// One read: `count` registers from `first` of one device by one function,
// and the channels (k = 0..7) whose registers it holds.
struct ModbusRead {
    int address = 0;
    int function = ReadHoldingRegisters;
    int first = 0;
    int count = 0;
    std::vector<int> channels;
    bool operator==(const ModbusRead&) const = default;
};

// The fewest reads that fetch every channel's registers: per device (by
// address) and function, registers that touch or overlap share a read of at
// most MaxReadRegisters; a gap starts a new read, since a device may refuse
// a register nobody asked for. Channels without a source are not read.
std::vector<ModbusRead> PlanReads(const ModbusSources& sources);

// The request frame of a read.
QByteArray ReadRequest(const ModbusRead& read);

// What the bytes received so far say about the reply to `read`.
struct ReplyCheck {
    enum class Status {
        Incomplete, // the frame is not whole yet
        Values,     // `registers` hold the read's values
        Exception,  // the device refused: `exceptionCode`
        Broken,     // `problem` says why (a CRC error, another device, a wrong count, ...)
    };
    Status status = Status::Incomplete;
    int length = 0; // bytes of the frame, once its length is known
    int from = 0;   // the address the frame came from, once whole with a good CRC
    QList<quint16> registers;
    int exceptionCode = 0;
    QString problem;
};
ReplyCheck CheckReply(QByteArrayView bytes, const ModbusRead& read);

// "illegal data address (exception 02)"; unknown codes by their number.
QString ExceptionText(int code);

// The value of a channel's registers at `offset` of a read's registers; none
// for a float32 that is no number (NaN, infinite).
std::optional<double> RegisterValue(const QList<quint16>& registers, int offset, RegisterType type,
                                    WordOrder order);

// How long `bytes` take on the line.
double WireMilliseconds(int bytes, const LineSettings& line);
// The least silence between two frames: 3.5 characters, 1.75 ms above 19200 bit/s.
double FrameSilenceMilliseconds(const LineSettings& line);

} // namespace tarvek
