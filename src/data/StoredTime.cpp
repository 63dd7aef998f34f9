#include "data/StoredTime.h"

#include "data/DataRecord.h"

#include <QDate>
#include <QTime>

#include <cstdio>
#include <cstring>
#include <limits>

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
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() != 19 || text[10] != u'T' || !date.isValid() || !time.isValid())
        return std::nullopt;
    return (date.toJulianDay() - UnixEpochDay) * DayMs + time.msecsSinceStartOfDay();
}

} // namespace tarvek
