#pragma once

#include <QString>

#include <array>

namespace tarvek {

// The instrument's eight channels. Channel indexes: `k` counts from 0 (the
// viewer's columns, a record's values), `c` and `n` count from 1 (the set-up's
// records, the logger's tables).
inline constexpr int ChannelCount = 8;
// Whether `n` numbers a channel (1..8), as the control arrays count them.
constexpr bool IsChannelNumber(int n) {
    return n >= 1 && n <= ChannelCount;
}

// The fields of a channel's set-up, as the logger's table holds them.
enum ChannelField { Description = 1, SensorType, Decimals, Unit, Gain, Zero, Active, AlarmMin, AlarmMax };
inline constexpr int ChannelFieldCount = 10; // ChannelRow slots 0..9
using ChannelRow = std::array<QString, ChannelFieldCount>;

} // namespace tarvek
