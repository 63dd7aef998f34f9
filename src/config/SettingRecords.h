#pragma once

#include "common/Channels.h"
#include "common/Folders.h"

#include <QString>

#include <array>

namespace tarvek {

// The layouts of the set-up files' 80-byte records, in one place: the readers,
// the writers, the default set-up and the viewer cut and build records only
// with what is here. Positions are counted from 1.

constexpr int SettingRecordLength = 80;

// --- General parameters: forty records of a label (1..21) and a value
// (22..77), then "*" CR LF.
constexpr int GeneralRecordCount = 40;
constexpr int SerialLineRecord = 16;
constexpr int StorageRateRecord = 17;
constexpr int SensorTypeRecord = 21;
// The values an operator may give the serial line ("COM 1".."COM 8") and the
// storage rate (an index into StorageRateName).
constexpr int FirstSerialLine = 1, LastSerialLine = 8;
constexpr int FirstStorageRate = 0, LastStorageRate = 9;
constexpr int GeneralLabelWidth = 21;
constexpr int GeneralValueWidth = 56;

QString GeneralLabelOf(const QString& record);
QString GeneralValueOf(const QString& record);
// Label and value, each cut or blank-padded to its width, and the terminator.
QString GeneralRecord(const QString& label, const QString& value);

// --- Channel parameters: channel c in record c + ChannelRecordOffset. Its
// name at 1..5, then one column per field, each followed by ";", then
// "*" CR LF at 78..80. The sensor type is no column: it comes from general
// record 21.
constexpr int ChannelRecordOffset = 10;
constexpr int ChannelNameWidth = 5;

// What a channel is called and measured in where its set-up names nothing:
// the name in its record's first column, and the unit every data record
// carries ("; Bar ;").
QString DefaultChannelName(int c); // "Ch.c"
inline const QString DefaultUnit = QStringLiteral("Bar");

struct ChannelColumn {
    ChannelField field;
    int first;
    int width;
};
inline constexpr ChannelColumn ChannelColumns[] = {
    {Description, 6, 22}, {Decimals, 29, 1}, {Unit, 31, 4},     {Gain, 36, 9},
    {Zero, 46, 9},        {Active, 56, 1},   {AlarmMin, 58, 9}, {AlarmMax, 68, 9},
};

// The text of `field` in a channel record, blanks trimmed; empty for a field
// without a column.
QString ChannelFieldOf(const QString& record, ChannelField field);
// `record` with `text` (cut or blank-padded) in the column of `field`, ";"
// after it and the terminator at the end; every other position as it was.
QString WithChannelField(const QString& record, ChannelField field, const QString& text);
// A channel record of `name` and the fields given (indexed by ChannelField).
QString ChannelRecord(const QString& name, const ChannelRow& fields);

// --- Acquisition status: record 1 holds the acquisition flag at 22, between
// two fields of 21 characters that a rewrite keeps.
constexpr int StatusFlagPosition = 22;
constexpr int StatusFieldWidth = 21;

} // namespace tarvek
