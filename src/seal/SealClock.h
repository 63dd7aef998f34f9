#pragma once

#include "seal/SealLine.h"

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tarvek {

// The system's clocks as a seal line records them: the wall clock with the
// local offset and zone, this boot's id, CLOCK_BOOTTIME, and whether the
// clock is synchronised (ntp_adjtime without modes, which needs no root).
SealTime ReadSealTime();

// Calls `stepped` when the wall clock is set (a step, not the slewing of a
// synchronised clock): a timerfd armed with TFD_TIMER_CANCEL_ON_SET, read
// from the event loop.
class ClockStepWatch {
  public:
    explicit ClockStepWatch(std::function<void()> stepped);
    ~ClockStepWatch();
    ClockStepWatch(const ClockStepWatch&) = delete;
    ClockStepWatch& operator=(const ClockStepWatch&) = delete;
    bool Armed() const { return fd_ >= 0; }

  private:
    void Arm();
    void Read();

    std::function<void()> stepped_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tarvek
