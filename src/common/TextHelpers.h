#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

namespace tarvek {

// Text helpers shared by every module. Texts are QStrings holding Latin-1
// characters; files and the serial line see them as one byte per character.

// Value of the number at the start of a text. Blanks, tabs and line feeds are
// skipped wherever they stand; an optional sign, digits, "." and fraction
// digits and an optional exponent ("E" or "D", either case) are taken up to the
// first character that does not fit. "." is the only decimal separator, so a
// "," ends the number. No number at the start gives 0. An exponent too large
// for a double gives an infinity: callers that format the value must expect it.
double LeadingNumber(const QString& text);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Values beyond the range of long long are clamped; NaN gives 0.
long long RoundHalfEven(double value);

// Removes leading and trailing blanks (spaces) only; tabs and the like stay.
QString TrimBlanks(const QString& text);

// Exactly n characters: blank-padded on the right or cut to the first n.
QString FixedText(const QString& text, int n);

// "hh:mm:ss" on the 24-hour clock.
QString TimeText(const QTime& time);

// "dd-mm-yyyy".
QString DateStamp(const QDate& date);

// One reading of the clock as the clock tick uses it: the time and the date
// stamp, read together so that they also belong together at midnight, and
// whether the second is new (its time differs from `lastTickTime`, the one
// the tick last acted on); the tick acts once per second of the wall clock.
struct ClockReading {
    QString time;  // TimeText
    QString today; // DateStamp
    bool newSecond = false;
};
ClockReading ReadClock(const QDateTime& now, const QString& lastTickTime);

// The record terminator of every record the program writes: "*", CR, LF.
inline const QString RecordTerminator = QStringLiteral("*\r\n");

} // namespace tarvek
