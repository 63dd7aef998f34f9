#pragma once

#include "common/Clock.h"

namespace tarvek {

// A wall clock that tests set and move by hand.
class FakeClock final : public WallClock {
  public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2008, 3, 5), QTime(10, 15, 0)))
        : now_(std::move(now)) {}
    // The time; it then moves on by the step set, as a clock on a busy
    // machine does between two reads.
    QDateTime Now() const override {
        const QDateTime now = now_;
        now_ = now_.addMSecs(stepPerRead_);
        return now;
    }
    void Set(const QDateTime& now) { now_ = now; }
    void Advance(qint64 milliseconds) { now_ = now_.addMSecs(milliseconds); }
    void SetStepPerRead(qint64 milliseconds) { stepPerRead_ = milliseconds; }

  private:
    mutable QDateTime now_;
    qint64 stepPerRead_ = 0;
};

} // namespace tarvek
