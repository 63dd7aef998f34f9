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

// Whether the times of records `from` - 1 on never fall.
template <typename Time> bool RisingFrom(qint64 size, qint64 from, Time time) {
    for (qint64 i = std::max<qint64>(from, 1); i < size; ++i)
        if (time(i) < time(i - 1))
            return false;
    return true;
}

} // namespace

qint64 Trend::ToUtc(qint64 localMs) {
    return clock_.ToUtcAfter(localMs, utc_.empty() ? std::numeric_limits<qint64>::min() : utc_.back());
}

void Trend::Append(const std::vector<StoredRecord>& records) {
    const qint64 start = Size();
    for (const StoredRecord& r : records) {
        const qint64 utc = ToUtc(r.localMs);
        utc_.push_back(utc);
        offset_.push_back(qint32((r.localMs - utc) / 1000));
        for (int k = 0; k < Declarations::ChannelCount; ++k)
            values_[k].push_back(r.values[k]);
    }
    SummarizeBlocks();
    risingUtc_ = risingUtc_ && RisingFrom(Size(), start, [this](qint64 i) { return UtcMs(i); });
    risingLocal_ = risingLocal_ && RisingFrom(Size(), start, [this](qint64 i) { return LocalMs(i); });
}

void Trend::Reserve(qint64 records) {
    utc_.reserve(std::size_t(records));
    offset_.reserve(std::size_t(records));
    for (auto& column : values_)
        column.reserve(std::size_t(records));
}

void Trend::ShrinkToFit() {
    utc_.shrink_to_fit();
    offset_.shrink_to_fit();
    for (auto& column : values_)
        column.shrink_to_fit();
}

qint64 Trend::CapacityBytes() const {
    qint64 bytes = qint64(utc_.capacity() * sizeof(qint64) + offset_.capacity() * sizeof(qint32));
    for (int k = 0; k < Declarations::ChannelCount; ++k)
        bytes += qint64(values_[k].capacity() * sizeof(StoredValue) + blocks_[k].capacity() * sizeof(Block));
    return bytes;
}

void Trend::Truncate(qint64 size) {
    if (size >= Size())
        return;
    utc_.resize(size);
    offset_.resize(size);
    for (auto& column : values_)
        column.resize(size);
    for (auto& column : blocks_)
        column.resize(size / BlockSize);
    risingUtc_ = RisingFrom(Size(), 1, [this](qint64 i) { return UtcMs(i); });
    risingLocal_ = RisingFrom(Size(), 1, [this](qint64 i) { return LocalMs(i); });
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
    const auto time = [&](qint64 i) { return Time(i, span.base); };
    if (TimesNeverFall(span.base)) {
        // The first record not before `t`, by bisection.
        const auto firstFrom = [&](qint64 low, qint64 t, bool after) {
            qint64 high = Size();
            while (low < high) {
                const qint64 mid = low + (high - low) / 2;
                if (time(mid) < t || (after && time(mid) == t))
                    low = mid + 1;
                else
                    high = mid;
            }
            return low;
        };
        const qint64 first = firstFrom(0, span.from, false);
        return {first, firstFrom(first, span.to, true)};
    }
    qint64 first = -1, last = -1;
    for (qint64 i = 0; i < Size(); ++i) {
        if (time(i) >= span.from && time(i) <= span.to) {
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
