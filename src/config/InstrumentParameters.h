#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"
#include "config/InstrumentLine.h"

#include <QStringList>

#include <vector>

namespace tarvek {

// settingfiles/instrumentparameters.txt: what the serial line speaks, in the
// 80-byte records of the other set-up files (label 1..21, value 22..77,
// "*" CR LF). Read at start and at each Load; the default set-up writes it
// where absent, with the instrument's own protocol.
//   record 1        title
//   record 2        protocol: "instrument" (the instrument's own, 2400 bit/s 8N1)
//                   or "Modbus RTU"
//   records 3..7    Modbus RTU: bit rate, parity, stop bits, reply time-out
//                   (ms), silence between frames (ms)
//   records 8..47   Modbus RTU, five per channel c from record 8 + 5 (c - 1):
//                   device address, function, register, type, word order
constexpr int ProtocolRecord = 2;
constexpr int BitRateRecord = 3;
constexpr int ParityRecord = 4;
constexpr int StopBitsRecord = 5;
constexpr int ReplyTimeoutRecord = 6;
constexpr int SilenceRecord = 7;
constexpr int FirstSourceRecord = 8;
enum SourceField { AddressField, FunctionField, RegisterField, TypeField, WordOrderField, SourceFieldCount };
constexpr int InstrumentRecordCount = FirstSourceRecord + SourceFieldCount * ChannelCount - 1;

constexpr int SourceRecord(int c, SourceField field) {
    return FirstSourceRecord + SourceFieldCount * (c - 1) + field;
}

// The reply time-out's bounds: eight silent devices still leave the poll
// inside its quarter minute.
constexpr int MinReplyTimeoutMs = 10, MaxReplyTimeoutMs = 1000;

enum class Protocol { Instrument, ModbusRtu };

// A value that cannot be used: its record, its channel (0 for the line's),
// the value, and what it means for the poll.
struct InstrumentProblem {
    int record = 0;
    int channel = 0;
    QString value;
    QString text; // "settingfiles/instrumentparameters.txt: record 10 (Ch.1 register): ..."
};

struct InstrumentSetUp {
    Protocol protocol = Protocol::Instrument;
    LineSettings line; // the instrument's own 2400 bit/s 8N1 unless Modbus RTU
    int replyTimeoutMs = 1000;
    int silenceMs = 5;
    ModbusSources sources; // Modbus RTU only; none: the channel reads " No Data "
    std::vector<InstrumentProblem> problems;
};

// The set-up the file's values give (record n at index n - 1). No values:
// the instrument's own protocol. A blank value is its default, except a
// blank device address, which leaves the channel unread. A line value that
// cannot be used is named and its default used; a channel value that cannot
// be used is named and leaves that channel unread. Values the protocol does
// not use are not looked at.
InstrumentSetUp DecodeInstrumentSetUp(const QStringList& values);

// Reads the file's values into setUp.InstrumentValue. A missing file gives
// none (and success); one that cannot be opened or read gives none, and the
// failure is returned and written to stderr.
FileOutcome ReadInstrumentParameters(const QString& appFolder, Declarations::SetUpState& setUp);

// The label of each record ("Ch.3 register").
QString InstrumentLabel(int record);
// "instrument" or "Modbus RTU", as the file names them.
QString ProtocolName(Protocol protocol);
// The default file, record by record.
QStringList DefaultInstrumentRecords();

} // namespace tarvek
