#pragma once

// The one way the tests write a trend: records on channel 1 in a few words,
// the other channels 0.000.
#include "viewer/Trend.h"

#include <QStringList>

#include <vector>

namespace tarvek {

// Where BuildTrend's records start: the zone, the day and the step between
// records given without a time.
struct TrendStart {
    const char* zone = "UTC";
    const char* date = "1970-01-01";
    qint64 stepMs = 30'000;
};

// Records from blank-separated items "[T=]V[*N]": T a time "HH:MM:SS" on the
// start's day, or seconds from its midnight ("A..B" for each second from A to
// B); without T the record follows the one before by the step (the first at
// midnight). V a value with the decimals written, or "-" for a gap; "*N"
// makes N records, a step apart.
inline Trend BuildTrend(const char* items, const TrendStart& start = {}) {
    const qint64 midnight = *ParseStoredTime(QStringLiteral("%1T00:00:00").arg(start.date));
    std::vector<StoredRecord> records;
    qint64 next = midnight;
    for (const QString& item : QString(items).split(u' ')) {
        const QStringList timed = item.split(u'=');
        const QStringList counted = timed.back().split(u'*');
        const QString value = counted[0];
        const int point = int(value.indexOf(u'.'));
        StoredRecord r;
        r.values.fill(StoredValue::FromDigits(0, 3));
        r.values[0] = value == u"-" ? StoredValue::FromGap(StoredValue::NoData)
                                    : StoredValue::FromDigits(QString(value).remove(u'.').toInt(),
                                                              point < 0 ? 0 : int(value.size()) - point - 1);
        const auto add = [&](qint64 t) { r.localMs = t, records.push_back(r); };
        if (timed.size() == 1) {
            for (int n = counted.size() > 1 ? counted[1].toInt() : 1; n > 0; --n, next += start.stepMs)
                add(next);
        } else if (timed[0].contains(u':')) {
            add(*ParseStoredTime(QStringLiteral("%1T%2").arg(start.date, timed[0])));
        } else {
            const QStringList range = timed[0].split(QStringLiteral(".."));
            for (qint64 s = range[0].toLongLong(); s <= range.back().toLongLong(); ++s)
                add(midnight + s * 1000);
        }
    }
    Trend trend{QTimeZone(start.zone)};
    trend.Append(records);
    return trend;
}

} // namespace tarvek
