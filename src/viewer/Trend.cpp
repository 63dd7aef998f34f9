#include "viewer/Trend.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tarvek {

namespace {

constexpr qint64 DayMs = 86'400'000;

qint64 FloorDiv(qint64 a, qint64 b) {
    return a / b - (a % b < 0 ? 1 : 0);
}

bool RisingFrom(const std::vector<qint64>& times, std::size_t from) {
    for (std::size_t i = std::max<std::size_t>(from, 1); i < times.size(); ++i)
        if (times[i] < times[i - 1])
            return false;
    return true;
}

} // namespace

int Trend::OffsetMsAt(qint64 utcMs) const {
    return zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc())) * 1000;
}

qint64 Trend::ToUtc(qint64 localMs) {
    const qint64 day = FloorDiv(localMs, DayMs);
    if (day != cachedDay_) {
        // Offsets lie within ±14 hours: these two instants bracket the day.
        cachedDay_ = day;
        offsetBefore_ = OffsetMsAt(day * DayMs - 14 * 3'600'000);
        offsetAfter_ = OffsetMsAt((day + 1) * DayMs + 14 * 3'600'000);
    }
    if (offsetBefore_ == offsetAfter_)
        return localMs - offsetBefore_;
    // A day on which the offset changes: the true times this wall-clock time
    // can stand for, the earliest first.
    qint64 candidates[2] = {localMs - std::max(offsetBefore_, offsetAfter_),
                            localMs - std::min(offsetBefore_, offsetAfter_)};
    const qint64 previous = utc_.empty() ? std::numeric_limits<qint64>::min() : utc_.back();
    std::optional<qint64> chosen;
    for (const qint64 u : candidates) {
        if (localMs - u != OffsetMsAt(u))
            continue;
        if (!chosen || (*chosen < previous && u >= previous))
            chosen = u;
    }
    // A time the clock skipped (daylight saving time begins): the offset before.
    return chosen.value_or(localMs - offsetBefore_);
}

void Trend::Append(const std::vector<StoredRecord>& records) {
    const std::size_t start = local_.size();
    local_.reserve(start + records.size());
    utc_.reserve(start + records.size());
    for (auto& column : values_)
        column.reserve(start + records.size());
    for (const StoredRecord& r : records) {
        const qint64 utc = ToUtc(r.localMs);
        local_.push_back(r.localMs);
        utc_.push_back(utc);
        for (int k = 0; k < Declarations::ChannelCount; ++k)
            values_[k].push_back(r.values[k]);
    }
    SummarizeBlocks();
    const std::size_t check = start > 0 ? start : 1;
    risingUtc_ = risingUtc_ && RisingFrom(utc_, check);
    risingLocal_ = risingLocal_ && RisingFrom(local_, check);
}

void Trend::Truncate(qint64 size) {
    if (size >= Size())
        return;
    local_.resize(size);
    utc_.resize(size);
    for (auto& column : values_)
        column.resize(size);
    for (auto& column : blocks_)
        column.resize(size / BlockSize);
    risingUtc_ = RisingFrom(utc_, 1);
    risingLocal_ = RisingFrom(local_, 1);
}

void Trend::SummarizeBlocks() {
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        const std::vector<StoredValue>& values = values_[k];
        for (qint64 b = qint64(blocks_[k].size()); b < Size() / BlockSize; ++b) {
            Block block;
            bool any = false;
            double low = 0, high = 0;
            for (int i = 0; i < BlockSize; ++i) {
                const StoredValue v = values[b * BlockSize + i];
                if (v.IsGap()) {
                    block.gap = true;
                    continue;
                }
                const double x = v.Value();
                if (!any || x < low)
                    low = x, block.low = quint8(i);
                if (!any || x > high)
                    high = x, block.high = quint8(i);
                any = true;
            }
            blocks_[k].push_back(block);
        }
    }
}

std::pair<qint64, qint64> Trend::IndexRange(const TimeSpan& span) const {
    const std::vector<qint64>& times = span.base == TimeSpan::Utc ? utc_ : local_;
    if (span.base == TimeSpan::Utc ? risingUtc_ : risingLocal_) {
        const auto first = std::lower_bound(times.begin(), times.end(), span.from);
        const auto last = std::upper_bound(first, times.end(), span.to);
        return {first - times.begin(), last - times.begin()};
    }
    qint64 first = -1, last = -1;
    for (qint64 i = 0; i < Size(); ++i) {
        if (times[i] >= span.from && times[i] <= span.to) {
            if (first < 0)
                first = i;
            last = i + 1;
        }
    }
    return first < 0 ? std::pair<qint64, qint64>{0, 0} : std::pair{first, last};
}

void WriteLocalTime(qint64 localMs, char* out) {
    // The date's text is made once per day: a month's export writes it
    // ninety thousand times.
    static thread_local qint64 cachedDay = std::numeric_limits<qint64>::min();
    static thread_local char date[32];
    const qint64 day = FloorDiv(localMs, DayMs);
    if (day != cachedDay) {
        int year = 0, month = 0, dayOfMonth = 0;
        QDate::fromJulianDay(day + UnixEpochDay).getDate(&year, &month, &dayOfMonth);
        std::snprintf(date, sizeof date, "%04d-%02d-%02dT", year % 10000, month, dayOfMonth);
        cachedDay = day;
    }
    std::memcpy(out, date, 11);
    const int seconds = int((localMs - day * DayMs) / 1000);
    const int parts[3] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
    for (int p = 0; p < 3; ++p) {
        out[11 + 3 * p] = char('0' + parts[p] / 10);
        out[12 + 3 * p] = char('0' + parts[p] % 10);
        if (p < 2)
            out[13 + 3 * p] = ':';
    }
}

QByteArray LocalTimeText(qint64 localMs) {
    char text[19];
    WriteLocalTime(localMs, text);
    return QByteArray(text, 19);
}

std::optional<qint64> ParseLocalTime(const QString& text) {
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() != 19 || text[10] != u'T' || !date.isValid() || !time.isValid())
        return std::nullopt;
    return (date.toJulianDay() - UnixEpochDay) * DayMs + time.msecsSinceStartOfDay();
}

} // namespace tarvek
