#include "data/StoredTimeToUtc.h"

#include "data/StoredTime.h"

#include <QDateTime>

#include <algorithm>

namespace tarvek {

int StoredTimeToUtc::OffsetMsAt(qint64 utcMs) const {
    return zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc())) * 1000;
}

qint64 StoredTimeToUtc::ToUtcAfter(qint64 localMs, qint64 previousUtc) {
    const qint64 day = FloorDiv(localMs, DayMs);
    if (day != cachedDay_) {
        // Offsets lie within ±14 hours: these two instants bracket the day.
        cachedDay_ = day;
        offsetBefore_ = OffsetMsAt(day * DayMs - 14 * HourMs);
        offsetAfter_ = OffsetMsAt((day + 1) * DayMs + 14 * HourMs);
    }
    if (offsetBefore_ == offsetAfter_)
        return localMs - offsetBefore_;
    // A day on which the offset changes: the true times this wall-clock time
    // can stand for, the earliest first.
    std::optional<qint64> chosen;
    for (const qint64 u :
         {localMs - std::max(offsetBefore_, offsetAfter_), localMs - std::min(offsetBefore_, offsetAfter_)}) {
        if (localMs - u != OffsetMsAt(u))
            continue;
        if (!chosen || (*chosen < previousUtc && u >= previousUtc))
            chosen = u;
    }
    // A time the clock skipped (daylight saving time begins): the offset before.
    return chosen.value_or(localMs - offsetBefore_);
}

} // namespace tarvek
