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
// "YYYY-MM-DD HH:MM:SS": a stored time as a table or a message shows it.
QString ShownTime(qint64 ms);
std::optional<qint64> ParseStoredTime(const QString& text);

// The stored time of a record's stamp, the date "dd-mm-yyyy" at `date` and
// the time "hh:mm:ss" at `time` (Latin-1): nothing when either is no such
// text or names no day of the calendar or second of a day. The one reader of
// the stamps of data and event records.
std::optional<qint64> StampAt(const char* date, const char* time);
// An event's date and time (Event::date, Event::time) as StampAt reads them.
std::optional<qint64> EventStamp(const QString& date, const QString& time);

} // namespace tarvek
