#include "viewer/Trend.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tarvek {

namespace {

// Whether the times of records `from` - 1 on never fall.
template <typename Time> bool RisingFrom(qint64 size, qint64 from, Time time) {
    for (qint64 i = std::max<qint64>(from, 1); i < size; ++i)
        if (time(i) < time(i - 1))
            return false;
    return true;
}

} // namespace

qint64 Trend::ToUtc(qint64 localMs) {
    return toUtc_.ToUtcAfter(localMs, utc_.empty() ? std::numeric_limits<qint64>::min() : utc_.back());
}

void Trend::Append(const std::vector<StoredRecord>& records) {
    const qint64 start = Size();
    for (const StoredRecord& r : records) {
        const qint64 utc = ToUtc(r.localMs);
        utc_.push_back(utc);
        offset_.push_back(qint32((r.localMs - utc) / 1000));
        for (int k = 0; k < ChannelCount; ++k)
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
    for (int k = 0; k < ChannelCount; ++k)
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
    for (int k = 0; k < ChannelCount; ++k) {
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

} // namespace tarvek
