#include "data/StoredTime.h"

#include "data/DataRecord.h"

#include <QDate>
#include <QTime>

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

} // namespace tarvek
