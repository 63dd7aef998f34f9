#include "seal/SealClock.h"

#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QTimeZone>

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <sys/timex.h>
#include <unistd.h>

namespace tarvek {

namespace {

qint64 ClockMs(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

QByteArray BootId() {
    QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().replace('-', "") : QByteArray(32, '0');
}

} // namespace

SealTime ReadSealTime() {
    static const QByteArray boot = BootId();
    SealTime t;
    t.utcMs = ClockMs(CLOCK_REALTIME);
    t.bootMs = ClockMs(CLOCK_BOOTTIME);
    const QTimeZone zone = QTimeZone::systemTimeZone();
    t.offsetSeconds = zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(t.utcMs, QTimeZone::utc()));
    t.zone = QTimeZone::systemTimeZoneId();
    t.bootId = boot;
    timex tx{};
    // TIME_ERROR, or a maximum error of 16 s or more: not synchronised.
    const int state = ::ntp_adjtime(&tx);
    t.maxErrorUs = tx.maxerror;
    t.synced = state >= 0 && state != TIME_ERROR && tx.maxerror < 16'000'000;
    return t;
}

ClockStepWatch::ClockStepWatch(std::function<void()> stepped) : stepped_(std::move(stepped)) {
    fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        return;
    Arm();
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Read(); });
}

ClockStepWatch::~ClockStepWatch() {
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

// A timer far ahead that never fires: it is cancelled when the clock is set.
void ClockStepWatch::Arm() {
    itimerspec far{};
    far.it_value.tv_sec = std::time(nullptr) + 10 * 365 * 86400;
    ::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &far, nullptr);
}

void ClockStepWatch::Read() {
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) < 0 && errno == ECANCELED) {
        Arm();
        stepped_();
    }
}

} // namespace tarvek
