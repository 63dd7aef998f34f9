#pragma once

#include "common/Clock.h"

// A wall clock that tests set and move by hand.
class FakeClock final : public WallClock {
  public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2008, 3, 5), QTime(10, 15, 0)))
        : now_(std::move(now)) {}
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime& now) { now_ = now; }
    void Advance(qint64 milliseconds) { now_ = now_.addMSecs(milliseconds); }

  private:
    QDateTime now_;
};
