#pragma once

// The simulated instrument's side of the exchange, as rules only: no line, no
// clock. The loop around it hands over the bytes the program wrote and the
// time, writes what is due, and closes the line when told to.
//
//   program:    select byte 128        "K" CR
//   instrument:                 "!"            eight readings CR
//
// A reading is a sign and seven digits. The readings move with the time since
// `started`: channel 1 is steady, channel 2 ramps, channels 3 to 6 and 8 are
// slow waves (8 crosses zero), channel 7 stays negative. A select byte always
// begins a new exchange and drops whatever was still to be sent. Bytes go out
// at the pace of a 2400 bit/s line unless pacing is off. The modes make the
// instrument misbehave in each way the program has to survive.
#include "instrument/Answerer.h"

#include <deque>

namespace instrument {

enum class Mode { Normal, Silent, Echo, WrongAck, Slow, Gap, Endless, Invalid, Hangup, Excursion, Pause };

struct ModeInfo {
    const char* name;
    Mode mode;
    const char* what;
};

inline constexpr ModeInfo Modes[] = {
    {"normal", Mode::Normal, "answers every poll correctly"},
    {"silent", Mode::Silent, "never answers the select byte"},
    {"echo", Mode::Echo, "echoes the select byte before its \"!\""},
    {"wrong-ack", Mode::WrongAck, "acknowledges with \"?\" in place of \"!\""},
    {"slow", Mode::Slow, "sends each answer character 1.9 s after the previous one"},
    {"gap", Mode::Gap, "pauses 2.5 s after the 32nd answer character"},
    {"endless", Mode::Endless, "never ends its answer: readings without a carriage return, no pause"},
    {"invalid", Mode::Invalid, "answers with \"=\" as the third character of channel 5"},
    {"hangup", Mode::Hangup,
     "closes the line halfway through every other answer (the 1st, 3rd, ...), then opens a new\n"
     "                  pseudo-terminal under the same link, so the following poll is answered"},
    {"excursion", Mode::Excursion,
     "channel 1 leaves its steady 12.345 for 20.000 in answers 2 to 4, gives 14.500 in answer 5\n"
     "                  and 12.345 again from answer 6, every 8 answers (an alarm raised and cleared)"},
    {"pause", Mode::Pause, "stays silent at polls 3 to 6 of every 10, answering the others correctly"},
};

const char* ModeName(Mode mode);

class Responder final : public Answerer {
  public:
    Responder(Mode mode, bool pacing, Clock::time_point started, Log log = {});

    void Received(std::string_view bytes, Clock::time_point now) override;
    Output Due(Clock::time_point now) override;
    void Sent(std::size_t count, Clock::time_point now) override;
    std::optional<Clock::time_point> NextDue() const override;
    void HungUp() override;
    void ProgramClosed() override;
    void DropOutput() override;

  private:
    enum class Phase {
        Idle,               // waits for the select byte; other bytes are ignored
        AwaitingCommand,    // acknowledged; collects the command up to its carriage return
        Answering,          // sends the answer, then reports how long the exchange took
        AnsweringEndlessly, // keeps the next readings queued for ever
        AnsweringToHangUp,  // sends the first part of the answer, then closes the line
    };
    struct Byte {
        char byte;
        Clock::time_point due;
    };

    void Selected(Clock::time_point now);
    void Command(Clock::time_point now);
    std::string Readings(Clock::time_point now) const;
    void Queue(std::string_view bytes, Clock::duration first, Clock::duration between, Clock::time_point now);
    void KeepTalking(Clock::time_point now);
    bool IsAnswering() const;
    Clock::duration Pace() const;
    void Note(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    Mode mode_;
    bool pacing_;
    Clock::time_point started_;
    Log log_;
    Phase phase_ = Phase::Idle;
    std::string command_;
    std::deque<Byte> out_;
    Clock::time_point selectAt_;
    Clock::time_point answerStart_;
    long polls_ = 0;
    long answers_ = 0;
};

} // namespace instrument
