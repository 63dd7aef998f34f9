#pragma once

#include "common/Declarations.h"
#include "data/DataRecord.h"

#include <QString>

namespace tarvek {

// The decimals a value is written with (in ValueWidth characters).
inline constexpr int ValueDecimals = 3;

// The reading the scan leaves when the poll failed, and the value texts that
// stand for a missing or an unusable reading.
inline const QString NoDataReading = QStringLiteral("No Data");
inline const QString NoDataText = QString::fromLatin1(NoDataValue);
inline const QString InvalidValueText = QString::fromLatin1(InvalidValue);

// A value as its 9-character right-aligned text: sign always ("-0.000" kept),
// three decimals rounded half away from zero on the shortest round-trip text
// (1.0005 gives "   +1.001"), "." in any locale. Too wide: decimals give way;
// still too wide, infinite or NaN: " ======= ".
QString ValueText(double x);

// How many of a reading make one unit before the gain: the instrument's
// readings are thousandths; a Modbus register's number is taken as it stands.
inline constexpr double InstrumentReadingsPerUnit = 1000.0;
inline constexpr double RegisterReadingsPerUnit = 1.0;

// The value text of one channel: " No Data " for the reading "No Data",
// " ======= " when the reading's third character is "=", otherwise the value
// (R - Z) * G / readingsPerUnit with R, G and Z the leading numbers of the
// reading, the gain and the zero.
QString ChannelValueText(const QString& reading, const QString& gain, const QString& zero,
                         double readingsPerUnit = InstrumentReadingsPerUnit);

// Turns ChannelReading(1..8) into ChannelValue(1..8) with each channel's Gain
// and Zero from ChannelParam, all eight on every call.
void ElaborateReadings(Declarations& state, double readingsPerUnit = InstrumentReadingsPerUnit);

} // namespace tarvek
