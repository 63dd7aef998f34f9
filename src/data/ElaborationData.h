#pragma once

#include "common/Declarations.h"

#include <QString>

namespace tarvek {

// Width of every value text, and the decimals a value is written with.
inline constexpr int ValueWidth = 9;
inline constexpr int ValueDecimals = 3;

// The reading the scan leaves when the poll failed, and the value texts that
// stand for a missing or an unusable reading.
inline const QString NoDataReading = QStringLiteral("No Data");
inline const QString NoDataText = QStringLiteral(" No Data ");
inline const QString InvalidValueText = QStringLiteral(" ======= ");

// A value as its 9-character text: sign ("-" below zero, "+" otherwise, an
// exact zero included), at least one digit before the point, three decimals
// rounded half away from zero, right-aligned with blanks. "." is the decimal
// separator whatever the locale.
//
// Rounding works on the shortest decimal text that reads back as the same
// double, i.e. on the number as the operator would write it: 1.0005 gives
// "   +1.001" although the nearest double lies just below 1.0005. A value
// rounding to zero from below keeps its "-" ("   -0.000").
//
// A value too wide for 9 characters with three decimals keeps its sign and
// gives up decimals instead ("-12345.68", "+123456.7", " -1234567"); one that
// does not fit without decimals, an infinity or a NaN gives " ======= ".
QString ValueText(double x);

// The value text of one channel: " No Data " for the reading "No Data",
// " ======= " when the reading's third character is "=", otherwise the value
// (R - Z) * G / 1000 with R, G and Z the leading numbers of the reading, the
// gain and the zero.
QString ChannelValueText(const QString& reading, const QString& gain, const QString& zero);

// Turns ChannelReading(1..8) into ChannelValue(1..8) with each channel's Gain
// and Zero from ChannelParam, all eight on every call.
void ElaborateReadings(Declarations& state);

} // namespace tarvek
