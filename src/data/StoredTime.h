#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvek {

// Times are counted in milliseconds from 1970-01-01 00:00: a stored record's
// stamp on the wall clock (as if it were UTC), or a true time (UTC).
inline constexpr qint64 SecondMs = 1000;
inline constexpr qint64 MinuteMs = 60 * SecondMs;
inline constexpr qint64 HourMs = 60 * MinuteMs;
inline constexpr qint64 DayMs = 24 * HourMs;

// a / b rounded towards minus infinity (b > 0): the day of a time before 1970
// is the one it falls in.
constexpr qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

// "YYYY-MM-DDTHH:MM:SS" of a time, and back (nothing for any other text).
QByteArray StoredTimeText(qint64 ms);
void WriteStoredTime(qint64 ms, char* out); // the 19 characters at `out`
std::optional<qint64> ParseStoredTime(const QString& text);

} // namespace tarvek
