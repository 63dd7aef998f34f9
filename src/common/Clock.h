#pragma once

#include <QDateTime>

// The wall clock, as everything that reads the time of day sees it. The
// program uses the system clock; tests drive a settable one.
class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual QDateTime Now() const = 0;
};

class SystemClock final : public WallClock {
  public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

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
