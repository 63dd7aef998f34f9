// tarvek-instrument: a simulated measuring instrument for TARVEK, on a
// pseudo-terminal that it links as <folder>/ports/COM<n>, where the program
// looks for serial line n.
//
// It answers the program's exchange: the select byte 128 with "!", then the
// command "K" and a carriage return with eight 8-character readings (sign and
// seven digits) and a carriage return. The readings move with time: channel 1
// is steady, channel 2 ramps, channels 3 to 6 and 8 are slow waves (8 crosses
// zero), channel 7 stays negative. Bytes go out at the pace of a 2400 bit/s
// line unless --no-pacing is given. The modes make it misbehave in each way
// the program has to survive (see Usage()).
//
// One thread, one poll(2) loop. When the program closes its end of the line,
// the master side reports a hang-up until the program opens it again; the
// loop then drops whatever answer was still going out (the program no longer
// listens), flushes the line so no stale byte waits for the next poll, and
// looks for the reopening every 2 ms instead of spinning on the hang-up (the
// program writes its select byte at once after opening, and a slow look
// would count as the instrument's reaction time).
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <numbers>
#include <string>
#include <string_view>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

enum class Mode { Normal, Silent, Echo, WrongAck, Slow, Gap, Endless, Invalid, Hangup };

struct ModeInfo {
    const char* name;
    Mode mode;
    const char* what;
};

constexpr ModeInfo Modes[] = {
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
};

// One character at 2400 bit/s: start bit, 8 data bits, stop bit.
constexpr auto ByteTime = std::chrono::microseconds(10 * 1000000 / 2400);
constexpr auto SlowCharTime = 1900ms;
constexpr auto GapTime = 2500ms;
constexpr auto ReopenCheck = 2ms;
constexpr unsigned char SelectCode = 128;
constexpr int FieldCount = 8;
constexpr int FieldWidth = 8;
constexpr std::size_t CommandLimit = 64;

struct Options {
    std::string folder;
    int line = 1;
    Mode mode = Mode::Normal;
    bool pacing = true;
    bool verbose = false;
};

volatile std::sig_atomic_t stopSignal = 0;

// The local time of day to the microsecond, "hh:mm:ss.uuuuuu": the moment a
// select byte arrives, to compare with the program's quarter-minute marks.
std::string WallClockText() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06ld", local.tm_hour, local.tm_min, local.tm_sec,
                  now.tv_nsec / 1000);
    return text;
}

void OnSignal(int signal) {
    stopSignal = signal;
}

void Usage(std::FILE* out) {
    std::fprintf(
        out, "usage: tarvek-instrument [--folder DIR] [--line N] [--mode MODE] [--no-pacing] [--verbose]\n"
             "\n"
             "Simulates TARVEK's instrument on a pseudo-terminal linked as DIR/ports/COM<N>.\n"
             "  --folder DIR    folder of the tarvek executable (default: this program's folder)\n"
             "  --line N        serial line number, the N of COM<N> (default: 1)\n"
             "  --mode MODE     behaviour (default: normal):\n");
    for (const ModeInfo& m : Modes)
        std::fprintf(out, "      %-11s %s\n", m.name, m.what);
    std::fprintf(out, "  --no-pacing     send bytes at once instead of at 2400 bit/s\n"
                      "  --verbose       log every exchange on standard error\n"
                      "Ends on SIGINT or SIGTERM, removing its link.\n");
}

std::string OwnFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string exe(path, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash == 0 ? 1 : slash);
}

bool ParseOptions(int argc, char** argv, Options& o) {
    o.folder = OwnFolder();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const std::size_t eq = arg.find('=');
        const bool takesValue =
            arg.rfind("--folder", 0) == 0 || arg.rfind("--line", 0) == 0 || arg.rfind("--mode", 0) == 0;
        if (takesValue) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                std::fprintf(stderr, "tarvek-instrument: %s needs a value\n", arg.c_str());
                return false;
            }
        }
        if (arg == "--folder") {
            o.folder = value;
        } else if (arg == "--line") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 1 || n > 255) {
                std::fprintf(stderr, "tarvek-instrument: bad line number \"%s\"\n", value.c_str());
                return false;
            }
            o.line = static_cast<int>(n);
        } else if (arg == "--mode") {
            bool known = false;
            for (const ModeInfo& m : Modes) {
                if (value == m.name) {
                    o.mode = m.mode;
                    known = true;
                }
            }
            if (!known) {
                std::fprintf(stderr, "tarvek-instrument: unknown mode \"%s\"\n", value.c_str());
                return false;
            }
        } else if (arg == "--no-pacing") {
            o.pacing = false;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "tarvek-instrument: unknown option \"%s\"\n", arg.c_str());
            return false;
        }
    }
    return true;
}

const char* ModeName(Mode mode) {
    for (const ModeInfo& m : Modes) {
        if (m.mode == mode)
            return m.name;
    }
    return "?";
}

class Instrument {
  public:
    explicit Instrument(Options options) : o_(std::move(options)), started_(Clock::now()) {
        link_ = o_.folder + "/ports/COM" + std::to_string(o_.line);
    }
    ~Instrument() { ClosePty(); }

    int Run();

  private:
    struct Output {
        bool hangUp; // close the line here, instead of sending a byte
        char byte;
        Clock::time_point due;
    };
    enum class State { Idle, AwaitingCommand };

    bool OpenPty();
    void ClosePty();
    bool MakeLink();
    void RemoveLink();
    void Received(unsigned char byte);
    void Selected();
    void Command(const std::string& command);
    void Queue(std::string_view bytes, Clock::duration first, Clock::duration between);
    void SendDue();
    void KeepTalking();
    void ProgramClosed();
    void HangUp();
    std::string Readings() const;
    // Time between two bytes on the line: none without pacing.
    Clock::duration Pace() const { return o_.pacing ? Clock::duration(ByteTime) : Clock::duration::zero(); }
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    Options o_;
    Clock::time_point started_;
    std::string link_;
    std::string device_;
    int master_ = -1;
    bool hungUp_ = false;  // the program has its end closed
    bool blocked_ = false; // the line accepts no more bytes for now
    State state_ = State::Idle;
    std::string command_;
    std::deque<Output> out_;
    bool answering_ = false;
    bool endless_ = false;
    Clock::time_point answerStart_;
    Clock::time_point selectAt_;
    long polls_ = 0;
    long answers_ = 0;
};

void Instrument::Log(const char* format, ...) {
    if (!o_.verbose)
        return;
    const double t = std::chrono::duration<double>(Clock::now() - started_).count();
    std::fprintf(stderr, "[%9.3f] ", t);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool Instrument::OpenPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        std::fprintf(stderr, "tarvek-instrument: no pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        std::fprintf(stderr, "tarvek-instrument: ptsname: %s\n", std::strerror(errno));
        return false;
    }
    device_ = name;
    // Raw 8-bit line at 2400 bit/s (on the master these are the settings of
    // the program's end); a carriage return must stay a carriage return.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B2400);
        cfsetospeed(&t, B2400);
        tcsetattr(master_, TCSANOW, &t);
    }
    hungUp_ = false;
    blocked_ = false;
    return MakeLink();
}

void Instrument::ClosePty() {
    if (master_ < 0)
        return;
    RemoveLink();
    close(master_);
    master_ = -1;
}

bool Instrument::MakeLink() {
    const std::string ports = o_.folder + "/ports";
    mkdir(o_.folder.c_str(), 0755);
    if (mkdir(ports.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tarvek-instrument: %s: %s\n", ports.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "tarvek-instrument: %s exists and is not a link; left alone\n", link_.c_str());
        return false;
    }
    // Made aside and renamed over the old link, so the name never vanishes.
    const std::string temporary = link_ + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(device_.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link_.c_str()) != 0) {
        std::fprintf(stderr, "tarvek-instrument: %s: %s\n", link_.c_str(), std::strerror(errno));
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void Instrument::RemoveLink() {
    // Only our own: another instrument may have taken the name since.
    char target[4096];
    const ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == device_)
        unlink(link_.c_str());
}

std::string Instrument::Readings() const {
    const double t = std::chrono::duration<double>(Clock::now() - started_).count();
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
    if (o_.mode == Mode::Invalid)
        text[4 * FieldWidth + 2] = '=';
    return text;
}

void Instrument::Queue(std::string_view bytes, Clock::duration first, Clock::duration between) {
    Clock::time_point due = std::max(Clock::now(), out_.empty() ? Clock::now() : out_.back().due);
    bool firstByte = true;
    for (const char c : bytes) {
        due += firstByte ? first : between;
        firstByte = false;
        out_.push_back({false, c, due});
    }
}

void Instrument::Received(unsigned char byte) {
    if (byte == SelectCode) {
        Selected();
        return;
    }
    if (state_ == State::Idle) {
        Log("ignored byte 0x%02X", byte);
        return;
    }
    if (byte == '\r') {
        state_ = State::Idle;
        Command(command_);
        return;
    }
    command_ += static_cast<char>(byte);
    if (command_.size() > CommandLimit) {
        Log("command too long; waiting for the next select byte");
        state_ = State::Idle;
    }
}

void Instrument::Selected() {
    ++polls_;
    selectAt_ = Clock::now();
    Log("poll %ld: select byte at %s", polls_, WallClockText().c_str());
    if (!out_.empty())
        Log("poll %ld: select byte while still sending; the rest is dropped", polls_);
    out_.clear();
    endless_ = false;
    answering_ = false;
    command_.clear();
    state_ = State::Idle;
    const auto pace = Pace();
    switch (o_.mode) {
    case Mode::Silent:
        Log("poll %ld: select byte 0x80, staying silent", polls_);
        return;
    case Mode::WrongAck:
        Log("poll %ld: select byte 0x80, answering \"?\"", polls_);
        Queue("?", pace, pace);
        return;
    case Mode::Echo:
        Log("poll %ld: select byte 0x80, echoing it before \"!\"", polls_);
        Queue("\x80!", pace, pace);
        break;
    default:
        Log("poll %ld: select byte 0x80, answering \"!\"", polls_);
        Queue("!", pace, pace);
        break;
    }
    state_ = State::AwaitingCommand;
}

void Instrument::Command(const std::string& command) {
    if (command != "K") {
        Log("poll %ld: unknown command \"%s\", no answer", polls_, command.c_str());
        return;
    }
    ++answers_;
    const std::string readings = Readings();
    const std::string answer = readings + "\r";
    Log("poll %ld: command \"K\", answering %s", polls_, readings.c_str());
    answering_ = true;
    answerStart_ = Clock::now();
    switch (o_.mode) {
    case Mode::Slow:
        Queue(answer, SlowCharTime, SlowCharTime);
        break;
    case Mode::Gap:
        Queue(std::string_view(answer).substr(0, 32), Pace(), Pace());
        Queue(std::string_view(answer).substr(32), GapTime, Pace());
        break;
    case Mode::Endless:
        endless_ = true;
        Queue(readings, Pace(), Pace());
        break;
    case Mode::Hangup:
        if (answers_ % 2 == 1) {
            Queue(std::string_view(answer).substr(0, 32), Pace(), Pace());
            out_.push_back({true, 0, out_.back().due});
            break;
        }
        Queue(answer, Pace(), Pace());
        break;
    default:
        Queue(answer, Pace(), Pace());
        break;
    }
}

void Instrument::SendDue() {
    const Clock::time_point now = Clock::now();
    KeepTalking();
    std::string chunk;
    bool hangUp = false;
    for (const Output& o : out_) {
        if (o.due > now)
            break;
        if (o.hangUp) {
            hangUp = true;
            break;
        }
        chunk += o.byte;
    }
    if (!chunk.empty()) {
        const ssize_t n = write(master_, chunk.data(), chunk.size());
        if (n < 0) {
            blocked_ = errno == EAGAIN || errno == EWOULDBLOCK;
            if (!blocked_) {
                Log("write: %s; answer dropped", std::strerror(errno));
                out_.clear();
                answering_ = false;
                endless_ = false;
            }
            return;
        }
        blocked_ = static_cast<std::size_t>(n) < chunk.size();
        out_.erase(out_.begin(), out_.begin() + n);
        if (blocked_)
            return;
    }
    if (hangUp) {
        out_.pop_front();
        HangUp();
        return;
    }
    KeepTalking();
    if (out_.empty() && answering_) {
        answering_ = false;
        const auto now = Clock::now();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - answerStart_);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - selectAt_);
        Log("poll %ld: answer sent in %lld ms; exchange %lld us from the select byte", polls_,
            static_cast<long long>(ms.count()), static_cast<long long>(us.count()));
    }
}

// An endless answer always has the next readings queued.
void Instrument::KeepTalking() {
    if (endless_ && out_.size() < FieldCount * FieldWidth)
        Queue(Readings(), Pace(), Pace());
}

void Instrument::ProgramClosed() {
    if (!out_.empty() || answering_)
        Log("poll %ld: the program closed the line; %zu unsent bytes dropped", polls_, out_.size());
    else
        Log("the program closed the line");
    out_.clear();
    answering_ = false;
    endless_ = false;
    blocked_ = false;
    state_ = State::Idle;
    tcflush(master_, TCIOFLUSH); // nothing of this exchange waits for the next one
    hungUp_ = true;
}

void Instrument::HangUp() {
    Log("poll %ld: hanging up halfway through the answer", polls_);
    answering_ = false;
    state_ = State::Idle;
    out_.clear();
    // The link stays until the new one replaces it; the program finds a
    // vanished device meanwhile, as after pulling out an adapter.
    close(master_);
    master_ = -1;
    if (!OpenPty()) {
        stopSignal = SIGTERM;
        return;
    }
    Log("reopened as %s", device_.c_str());
}

int Instrument::Run() {
    if (!OpenPty())
        return 1;
    std::printf("tarvek-instrument: COM%d is %s (link %s), mode %s%s\n", o_.line, device_.c_str(),
                link_.c_str(), ModeName(o_.mode), o_.pacing ? "" : ", no pacing");
    std::fflush(stdout);

    // SIGINT and SIGTERM are only let in while the loop waits, so a stop
    // request is never lost between a check and the wait.
    sigset_t blocked;
    sigset_t waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);

    while (stopSignal == 0) {
        if (!hungUp_)
            SendDue();
        if (stopSignal != 0)
            break;

        // How long to wait: until the next byte is due, for the line to take
        // more bytes, for input, or until the next look for a reopened line.
        Clock::duration wait = Clock::duration::max();
        if (!out_.empty() && !blocked_)
            wait = std::max(Clock::duration::zero(), out_.front().due - Clock::now());
        if (hungUp_)
            wait = std::min<Clock::duration>(wait, ReopenCheck);
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (wait != Clock::duration::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        pollfd fd{master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
        const int ready = ppoll(&fd, hungUp_ ? 0 : 1, timeoutPtr, &waiting);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "tarvek-instrument: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (hungUp_) {
            pollfd probe{master_, POLLIN, 0};
            if (poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0) {
                hungUp_ = false;
                Log("the program opened the line");
            }
            continue;
        }
        if (fd.revents & POLLOUT)
            blocked_ = false;
        if (fd.revents & (POLLIN | POLLHUP | POLLERR)) {
            unsigned char buffer[256];
            for (;;) {
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    for (ssize_t i = 0; i < n; ++i)
                        Received(buffer[i]);
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && (fd.revents & POLLHUP) == 0)
                    break;
                ProgramClosed(); // EIO or end of file: no one has the line open
                break;
            }
        }
    }
    Log("ending on signal %d", static_cast<int>(stopSignal));
    ClosePty();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage(stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    Instrument instrument(std::move(options));
    return instrument.Run();
}
