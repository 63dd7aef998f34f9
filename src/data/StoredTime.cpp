#include "data/StoredTime.h"

#include "data/DataRecord.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

namespace tarvek {

void WriteStoredTime(qint64 ms, char* out) {
    // The date's text is made once per day: a month's export writes it
    // ninety thousand times.
    static thread_local qint64 cachedDay = std::numeric_limits<qint64>::min();
    static thread_local char date[32];
    const qint64 day = FloorDiv(ms, DayMs);
    if (day != cachedDay) {
        int year = 0, month = 0, dayOfMonth = 0;
        QDate::fromJulianDay(day + UnixEpochDay).getDate(&year, &month, &dayOfMonth);
        std::snprintf(date, sizeof date, "%04d-%02d-%02dT", year % 10000, month, dayOfMonth);
        cachedDay = day;
    }
    std::memcpy(out, date, 11);
    const int seconds = int((ms - day * DayMs) / SecondMs);
    const int parts[3] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
    for (int p = 0; p < 3; ++p) {
        out[11 + 3 * p] = char('0' + parts[p] / 10);
        out[12 + 3 * p] = char('0' + parts[p] % 10);
        if (p < 2)
            out[13 + 3 * p] = ':';
    }
}

QByteArray StoredTimeText(qint64 ms) {
    char text[19];
    WriteStoredTime(ms, text);
    return QByteArray(text, 19);
}

QString ShownTime(qint64 ms) {
    return QString::fromLatin1(StoredTimeText(ms)).replace(u'T', u' ');
}

std::optional<qint64> ParseStoredTime(const QString& text) {
    // Read digit by digit: the viewer places every event of a month by it,
    // and Qt's format parser costs microseconds a call.
    if (text.size() != 19)
        return std::nullopt;
    const auto number = [&](int at, int digits) {
        int n = 0;
        for (int i = at; i < at + digits; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            n = n * 10 + (c - u'0');
        }
        return n;
    };
    for (const auto& [at, separator] : {std::pair{4, u'-'}, {7, u'-'}, {10, u'T'}, {13, u':'}, {16, u':'}})
        if (text[at] != separator)
            return std::nullopt;
    const int year = number(0, 4);
    const QDate date(year, number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (year < 0 || !date.isValid() || !time.isValid())
        return std::nullopt;
    return (date.toJulianDay() - UnixEpochDay) * DayMs + time.msecsSinceStartOfDay();
}

namespace {

// The number of two digits at `p`, or -1.
int TwoDigits(const char* p) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return digit(p[0]) && digit(p[1]) ? (p[0] - '0') * 10 + (p[1] - '0') : -1;
}

} // namespace

std::optional<qint64> StampAt(const char* date, const char* time) {
    if (date[MonthAt - 1] != '-' || date[YearAt - 1] != '-' || time[MinuteAt - 1] != ':' ||
        time[SecondAt - 1] != ':')
        return std::nullopt;
    const int day = TwoDigits(date + DayAt), month = TwoDigits(date + MonthAt),
              century = TwoDigits(date + YearAt), year = TwoDigits(date + YearAt + 2);
    const int hour = TwoDigits(time + HourAt), minute = TwoDigits(time + MinuteAt),
              second = TwoDigits(time + SecondAt);
    if (std::min({day, month, century, year, hour, minute, second}) < 0 || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    const QDate calendar(century * 100 + year, month, day);
    if (!calendar.isValid())
        return std::nullopt;
    return (calendar.toJulianDay() - UnixEpochDay) * DayMs + hour * HourMs + minute * MinuteMs +
           second * SecondMs;
}

std::optional<qint64> EventStamp(const QString& date, const QString& time) {
    if (date.size() != DateWidth || time.size() != TimeWidth)
        return std::nullopt;
    return StampAt(date.toLatin1().constData(), time.toLatin1().constData());
}

} // namespace tarvek
