#pragma once

#include "data/DataFileReader.h"
#include "data/StoredTime.h"
#include "data/StoredTimeToUtc.h"

#include <QTimeZone>

#include <optional>
#include <utility>
#include <vector>

namespace tarvek {

// A span of time, both ends included, in milliseconds from 1970-01-01: on the
// true time line (UTC), as the chart draws it, or on the wall clock as stored,
// as the command line's --from and --to name it. The two differ by the zone's
// offset, and in the hour that repeats when daylight saving time ends.
struct TimeSpan {
    enum Base { Utc, Local };
    qint64 from = 0;
    qint64 to = 0;
    Base base = Utc;
};

// The records of one or more data files in stored order, kept by column to
// stay small (a month of eight channels takes under 4 MB). Each record keeps
// the true time it stands for and the zone's offset then, which give its
// stored wall-clock time. The columns grow geometrically, so an append costs
// the same however many records are held.
class Trend {
  public:
    explicit Trend(QTimeZone zone = QTimeZone::systemTimeZone()) : toUtc_(std::move(zone)) {}

    // Appends records after the last one. The true time of a wall-clock time
    // that occurs twice (the repeated hour) is the first occurrence not
    // earlier than the previous record, so both passes of that hour are kept
    // in order instead of being laid over each other.
    void Append(const std::vector<StoredRecord>& records);
    // Room for `records` in all, or the columns cut to what they hold.
    void Reserve(qint64 records);
    void ShrinkToFit();
    // Bytes the columns hold room for.
    qint64 CapacityBytes() const;
    // Keeps the first `size` records.
    void Truncate(qint64 size);

    qint64 Size() const { return qint64(utc_.size()); }
    qint64 LocalMs(qint64 i) const { return utc_[i] + qint64(offset_[i]) * 1000; }
    qint64 UtcMs(qint64 i) const { return utc_[i]; }
    qint64 Time(qint64 i, TimeSpan::Base base) const { return base == TimeSpan::Utc ? utc_[i] : LocalMs(i); }
    StoredValue Value(int channel, qint64 i) const { return values_[channel][i]; }

    bool Contains(qint64 i, const TimeSpan& span) const {
        const qint64 t = Time(i, span.base);
        return t >= span.from && t <= span.to;
    }
    // Whether the times never fall from one record to the next: then the
    // index range of a span holds nothing else.
    bool TimesNeverFall(TimeSpan::Base base) const {
        return base == TimeSpan::Utc ? risingUtc_ : risingLocal_;
    }

    // A summary of each whole block of BlockSize records per channel, so that
    // drawing a year does not visit every record: the offsets in the block of
    // its first smallest and first largest value, and whether it holds a gap
    // (or only gaps).
    static constexpr qint64 BlockSize = 64;
    struct Block {
        quint8 low = 0, high = 0;
        bool gap = false;
    };
    qint64 BlockCount() const { return qint64(blocks_[0].size()); }
    const Block& BlockOf(int channel, qint64 block) const { return blocks_[channel][block]; }

    // The smallest index range [first, last) holding every record of `span`;
    // within it, Contains() tells which records belong to the span (stored
    // times need not rise: a clock set back, the repeated hour).
    std::pair<qint64, qint64> IndexRange(const TimeSpan& span) const;

  private:
    qint64 ToUtc(qint64 localMs);
    void SummarizeBlocks();

    StoredTimeToUtc toUtc_;
    std::vector<qint64> utc_;
    std::vector<qint32> offset_; // wall clock minus true time, seconds
    std::array<std::vector<StoredValue>, ChannelCount> values_;
    std::array<std::vector<Block>, ChannelCount> blocks_;
    bool risingUtc_ = true, risingLocal_ = true;
};

} // namespace tarvek
