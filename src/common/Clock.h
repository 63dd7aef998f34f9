#pragma once

#include <QDateTime>

namespace tarvek {

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

} // namespace tarvek
