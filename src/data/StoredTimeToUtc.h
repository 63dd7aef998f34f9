#pragma once

#include <QTimeZone>

#include <limits>
#include <optional>

namespace tarvek {

// The true time (UTC) of stored wall-clock times, taken in stored order. A
// wall-clock time that occurs twice (the repeated hour when daylight saving
// time ends) is placed at its first occurrence not earlier than the previous
// record, so both passes of that hour stay in order; a time the clock skipped
// takes the offset before the change.
class StoredTimeToUtc {
  public:
    explicit StoredTimeToUtc(QTimeZone zone = QTimeZone::systemTimeZone()) : zone_(std::move(zone)) {}
    // The next record in stored order, after the one placed last.
    qint64 ToUtc(qint64 localMs) {
        previous_ = ToUtcAfter(localMs, previous_.value_or(std::numeric_limits<qint64>::min()));
        return *previous_;
    }
    // A record that follows one placed at `previousUtc`.
    qint64 ToUtcAfter(qint64 localMs, qint64 previousUtc);
    // Goes on after a record placed at `previousUtc` (by an earlier run).
    void Continue(qint64 previousUtc) { previous_ = previousUtc; }
    // Forgets the previous record (the next one is placed as if it were first).
    void Reset() { previous_.reset(); }

  private:
    int OffsetMsAt(qint64 utcMs) const;

    QTimeZone zone_;
    std::optional<qint64> previous_;
    qint64 cachedDay_ = -1'000'000'000;
    int offsetBefore_ = 0, offsetAfter_ = 0;
};

} // namespace tarvek
