#include "instrument/Responder.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace instrument {

namespace {

using namespace std::chrono_literals;

// One character at 2400 bit/s: start bit, 8 data bits, stop bit.
constexpr auto ByteTime = std::chrono::microseconds(10 * 1000000 / 2400);
constexpr auto SlowCharTime = 1900ms;
constexpr auto GapTime = 2500ms;
constexpr unsigned char SelectCode = 128;
constexpr int FieldCount = 8;
constexpr int FieldWidth = 8;
constexpr std::size_t CommandLimit = 64;
// Where the gap and the hang-up cut the answer.
constexpr std::size_t HalfAnswer = 32;
// The rounds of the excursion and of the pause, in answers and in polls.
constexpr long ExcursionCycle = 8;
constexpr long PauseCycle = 10;

} // namespace

const char* ModeName(Mode mode) {
    for (const ModeInfo& m : Modes) {
        if (m.mode == mode)
            return m.name;
    }
    return "?";
}

Responder::Responder(Mode mode, bool pacing, Clock::time_point started, Log log)
    : mode_(mode), pacing_(pacing), started_(started), log_(std::move(log)) {}

void Responder::Received(std::string_view bytes, Clock::time_point now) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == SelectCode) {
            Selected(now);
        } else if (phase_ != Phase::AwaitingCommand) {
            Note("ignored byte 0x%02X", byte);
        } else if (byte == '\r') {
            phase_ = Phase::Idle;
            Command(now);
        } else {
            command_ += c;
            if (command_.size() > CommandLimit) {
                Note("command too long; waiting for the next select byte");
                phase_ = Phase::Idle;
            }
        }
    }
}

void Responder::Selected(Clock::time_point now) {
    ++polls_;
    selectAt_ = now;
    if (!out_.empty())
        Note("poll %ld: select byte while still sending; the rest is dropped", polls_);
    out_.clear();
    command_.clear();
    phase_ = Phase::Idle;
    const bool paused =
        mode_ == Mode::Pause && (polls_ - 1) % PauseCycle >= 2 && (polls_ - 1) % PauseCycle <= 5;
    switch (paused ? Mode::Silent : mode_) {
    case Mode::Silent:
        Note("poll %ld: select byte 0x80, staying silent", polls_);
        return;
    case Mode::WrongAck:
        Note("poll %ld: select byte 0x80, answering \"?\"", polls_);
        Queue("?", Pace(), Pace(), now);
        return;
    case Mode::Echo:
        Note("poll %ld: select byte 0x80, echoing it before \"!\"", polls_);
        Queue("\x80!", Pace(), Pace(), now);
        break;
    default:
        Note("poll %ld: select byte 0x80, answering \"!\"", polls_);
        Queue("!", Pace(), Pace(), now);
        break;
    }
    phase_ = Phase::AwaitingCommand;
}

void Responder::Command(Clock::time_point now) {
    if (command_ != "K") {
        Note("poll %ld: unknown command \"%s\", no answer", polls_, command_.c_str());
        return;
    }
    ++answers_;
    const std::string readings = Readings(now);
    const std::string answer = readings + "\r";
    const std::string_view firstHalf = std::string_view(answer).substr(0, HalfAnswer);
    Note("poll %ld: command \"K\", answering %s", polls_, readings.c_str());
    answerStart_ = now;
    phase_ = Phase::Answering;
    switch (mode_) {
    case Mode::Slow:
        Queue(answer, SlowCharTime, SlowCharTime, now);
        break;
    case Mode::Gap:
        Queue(firstHalf, Pace(), Pace(), now);
        Queue(std::string_view(answer).substr(HalfAnswer), GapTime, Pace(), now);
        break;
    case Mode::Endless:
        phase_ = Phase::AnsweringEndlessly;
        Queue(readings, Pace(), Pace(), now);
        break;
    case Mode::Hangup:
        if (answers_ % 2 == 1) {
            phase_ = Phase::AnsweringToHangUp;
            Queue(firstHalf, Pace(), Pace(), now);
            break;
        }
        Queue(answer, Pace(), Pace(), now);
        break;
    default:
        Queue(answer, Pace(), Pace(), now);
        break;
    }
}

Responder::Output Responder::Due(Clock::time_point now) {
    KeepTalking(now);
    Output output;
    for (const Byte& b : out_) {
        if (b.due > now)
            break;
        output.bytes += b.byte;
    }
    output.hangUp = phase_ == Phase::AnsweringToHangUp && output.bytes.size() == out_.size();
    return output;
}

void Responder::Sent(std::size_t count, Clock::time_point now) {
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(std::min(count, out_.size())));
    KeepTalking(now);
    if (out_.empty() && phase_ == Phase::Answering) {
        phase_ = Phase::Idle;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - answerStart_);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - selectAt_);
        Note("poll %ld: answer sent in %lld ms; exchange %lld us from the select byte", polls_,
             static_cast<long long>(ms.count()), static_cast<long long>(us.count()));
    }
}

std::optional<Clock::time_point> Responder::NextDue() const {
    if (out_.empty())
        return std::nullopt;
    return out_.front().due;
}

void Responder::HungUp() {
    Note("poll %ld: hanging up halfway through the answer", polls_);
    out_.clear();
    phase_ = Phase::Idle;
}

void Responder::ProgramClosed() {
    if (!out_.empty() || IsAnswering())
        Note("poll %ld: the program closed the line; %zu unsent bytes dropped", polls_, out_.size());
    else
        Note("the program closed the line");
    out_.clear();
    phase_ = Phase::Idle;
}

void Responder::DropOutput() {
    out_.clear();
    if (IsAnswering())
        phase_ = Phase::Idle;
}

bool Responder::IsAnswering() const {
    return phase_ == Phase::Answering || phase_ == Phase::AnsweringEndlessly ||
           phase_ == Phase::AnsweringToHangUp;
}

std::string Responder::Readings(Clock::time_point now) const {
    const double t = std::chrono::duration<double>(now - started_).count();
    const double pi2 = 2.0 * std::numbers::pi;
    const double values[FieldCount] = {
        12345.0,                                         // steady
        100000.0 + 10.0 * t,                             // ramp
        250000.0 + 150000.0 * std::sin(pi2 * t / 300.0), // 5-minute wave
        1000000.0 + 400000.0 * std::sin(pi2 * t / 900.0 + 1.0),
        50000.0 + 2000.0 * std::sin(pi2 * t / 60.0),
        7500.0 + 2500.0 * std::sin(pi2 * t / 3600.0),
        -4321.0 - 500.0 * std::sin(pi2 * t / 600.0), // always negative
        3000.0 * std::sin(pi2 * t / 120.0),          // crosses zero
    };
    std::string text;
    for (double v : values) {
        long n = std::lround(v);
        const char sign = n < 0 ? '-' : '+';
        n = std::labs(n) % 10000000; // seven digits
        char field[FieldWidth + 1];
        std::snprintf(field, sizeof field, "%c%07ld", sign, n);
        text.append(field, FieldWidth);
    }
    if (mode_ == Mode::Invalid)
        text[4 * FieldWidth + 2] = '=';
    if (mode_ == Mode::Excursion) {
        const long k = (answers_ - 1) % ExcursionCycle;
        text.replace(0, FieldWidth, k >= 1 && k <= 3 ? "+0020000" : k == 4 ? "+0014500" : "+0012345");
    }
    return text;
}

// Each byte is due `between` after the one before it, the first `first` after
// the last byte already queued (or after now, when nothing is).
void Responder::Queue(std::string_view bytes, Clock::duration first, Clock::duration between,
                      Clock::time_point now) {
    Clock::time_point due = out_.empty() ? now : std::max(now, out_.back().due);
    bool firstByte = true;
    for (const char c : bytes) {
        due += firstByte ? first : between;
        firstByte = false;
        out_.push_back({c, due});
    }
}

// An endless answer always has the next readings queued.
void Responder::KeepTalking(Clock::time_point now) {
    if (phase_ == Phase::AnsweringEndlessly && out_.size() < FieldCount * FieldWidth)
        Queue(Readings(now), Pace(), Pace(), now);
}

// Time between two bytes on the line: none without pacing.
Clock::duration Responder::Pace() const {
    return pacing_ ? Clock::duration(ByteTime) : Clock::duration::zero();
}

void Responder::Note(const char* format, ...) const {
    if (!log_)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_(line);
}

} // namespace instrument
