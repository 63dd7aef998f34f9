#pragma once

// What the loop around the simulated line needs from whatever answers on it:
// it hands over the bytes the program wrote and the time, writes what is due,
// and closes the line when told to. No line, no clock of its own.
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace instrument {

using Clock = std::chrono::steady_clock;

class Answerer {
  public:
    // Receives one line per event (without its newline); empty: no log.
    using Log = std::function<void(const std::string&)>;

    struct Output {
        std::string bytes;   // write these now, oldest first
        bool hangUp = false; // then, once all of them are out, close the line
    };

    virtual ~Answerer() = default;

    // Bytes the program wrote, oldest first.
    virtual void Received(std::string_view bytes, Clock::time_point now) = 0;
    // What is due by `now`. The line may take less: Sent() says how much.
    virtual Output Due(Clock::time_point now) = 0;
    // The first `count` bytes of the last Due() went out at `now`.
    virtual void Sent(std::size_t count, Clock::time_point now) = 0;
    // When the next byte is due; none while there is nothing to send.
    virtual std::optional<Clock::time_point> NextDue() const = 0;
    // The line was closed after a hang-up that Due() asked for.
    virtual void HungUp() = 0;
    // The program closed its end: nothing of this exchange waits for the next.
    virtual void ProgramClosed() = 0;
    // The line refused the bytes for good: the rest of the answer is dropped.
    virtual void DropOutput() = 0;
};

} // namespace instrument
