// tarvek-instrument: a simulated measuring instrument for TARVEK, or Modbus
// RTU devices sharing one line, on a pseudo-terminal that it links as
// <folder>/ports/COM<n>, where the program looks for serial line n. What it
// answers, and how each mode or fault misbehaves, is Responder's or
// ModbusResponder's; where it answers is Pty's; this file holds the command
// line and the loop between them.
//
// One thread, one poll(2) loop. When the program closes its end of the line,
// the master side reports a hang-up until the program opens it again; the
// loop then drops whatever answer was still going out (the program no longer
// listens) but keeps what the program wrote (the select byte of a reopening
// may already wait behind the hang-up), and looks for the reopening every
// 2 ms instead of spinning on the hang-up (the program writes its select
// byte at once after opening, and a slow look would count as the
// instrument's reaction time).
#include "instrument/ModbusResponder.h"
#include "instrument/Pty.h"
#include "instrument/Responder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

using instrument::Clock;
using instrument::Mode;
using instrument::ModeInfo;
using instrument::Modes;
using namespace std::chrono_literals;

constexpr auto ReopenCheck = 2ms;

struct Options {
    std::string folder;
    int line = 1;
    Mode mode = Mode::Normal;
    bool pacing = true;
    bool verbose = false;
    bool force = false;
    std::string modbus; // the registers file: Modbus RTU devices instead of the instrument
    instrument::ModbusDevices devices;
    int bitRate = 9600;
};

volatile std::sig_atomic_t stopSignal = 0;

void OnSignal(int signal) {
    stopSignal = signal;
}

void Usage(std::FILE* out) {
    std::fprintf(
        out, "usage: tarvek-instrument [--folder DIR] [--line N] [--mode MODE] [--no-pacing] [--verbose]\n"
             "                         [--force]\n"
             "\n"
             "Simulates TARVEK's instrument on a pseudo-terminal linked as DIR/ports/COM<N>.\n"
             "  --folder DIR    folder of the tarvek executable (default: this program's folder)\n"
             "  --line N        serial line number, the N of COM<N> (default: 1)\n"
             "  --mode MODE     behaviour (default: normal):\n");
    for (const ModeInfo& m : Modes)
        std::fprintf(out, "      %-11s %s\n", m.name, m.what);
    std::fprintf(out, "  --modbus FILE   Modbus RTU devices in place of the instrument, their registers\n"
                      "                  in FILE, one a line: ADDRESS holding|input REGISTER VALUE\n"
                      "                  [int16|uint16|int32|uint32|float32 [high-first|low-first]]\n"
                      "  --fault A=FAULT device A misbehaves (Modbus RTU; repeat for others):\n");
    for (const instrument::ModbusFaultInfo& f : instrument::ModbusFaults)
        std::fprintf(out, "      %-13s %s\n", f.name, f.what);
    std::fprintf(out, "  --bit-rate N    pace of the Modbus RTU devices' bytes (default 9600)\n"
                      "  --no-pacing     send bytes at once instead of at 2400 bit/s\n"
                      "  --verbose       log every exchange on standard error\n"
                      "  --force         replace an existing COM<N> link until the end\n"
                      "Ends on SIGINT or SIGTERM, removing its link or putting back the one it replaced.\n");
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

// --modbus FILE, --fault ADDRESS=FAULT, --bit-rate N.
bool ParseModbusOption(const std::string& arg, const std::string& value, Options& o) {
    if (arg == "--modbus") {
        std::ifstream in(value);
        const std::string problem = in ? instrument::ReadRegisters(in, o.devices) : std::strerror(errno);
        if (!problem.empty())
            std::fprintf(stderr, "tarvek-instrument: %s: %s\n", value.c_str(), problem.c_str());
        o.modbus = value;
        return problem.empty();
    }
    const std::size_t eq = value.find('=');
    const int number = std::atoi(value.c_str());
    if (arg == "--bit-rate") {
        o.bitRate = number;
        return number > 0;
    }
    const auto f = std::find_if(
        std::begin(instrument::ModbusFaults), std::end(instrument::ModbusFaults),
        [&](const auto& info) { return eq != std::string::npos && value.substr(eq + 1) == info.name; });
    if (f == std::end(instrument::ModbusFaults) || number < 1 || number > 247) {
        std::fprintf(stderr, "tarvek-instrument: bad fault \"%s\"\n", value.c_str());
        return false;
    }
    o.devices[number].fault = f->fault;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    o.folder = OwnFolder();
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const std::size_t eq = arg.find('=');
        const bool takesValue = arg.rfind("--folder", 0) == 0 || arg.rfind("--line", 0) == 0 ||
                                arg.rfind("--mode", 0) == 0 || arg.rfind("--modbus", 0) == 0 ||
                                arg.rfind("--fault", 0) == 0 || arg.rfind("--bit-rate", 0) == 0;
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
            const auto m = std::find_if(std::begin(Modes), std::end(Modes),
                                        [&](const ModeInfo& info) { return value == info.name; });
            if (m == std::end(Modes)) {
                std::fprintf(stderr, "tarvek-instrument: unknown mode \"%s\"\n", value.c_str());
                return false;
            }
            o.mode = m->mode;
        } else if (arg == "--modbus" || arg == "--fault" || arg == "--bit-rate") {
            if (!ParseModbusOption(arg, value, o))
                return false;
        } else if (arg == "--no-pacing") {
            o.pacing = false;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--force") {
            o.force = true;
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

// The instrument, or the Modbus RTU devices of a registers file.
std::unique_ptr<instrument::Answerer> MakeAnswerer(const Options& o, Clock::time_point started,
                                                   instrument::Answerer::Log log) {
    if (o.modbus.empty())
        return std::make_unique<instrument::Responder>(o.mode, o.pacing, started, std::move(log));
    return std::make_unique<instrument::ModbusResponder>(o.devices, o.pacing ? o.bitRate : 0, std::move(log));
}

// Moves bytes between the pseudo-terminal and the responder until a signal
// ends it.
class Loop {
  public:
    explicit Loop(const Options& o)
        : o_(o), started_(Clock::now()),
          responder_(MakeAnswerer(o, started_, [this](const std::string& line) { Note(line); })),
          pty_(o.folder, o.line, o.force) {}

    int Run();

  private:
    enum class Line {
        Open,            // takes bytes
        Full,            // takes no more bytes for now
        ClosedByProgram, // the program has its end closed
    };

    bool SendDue();
    void ReadInput(short revents);
    timespec* Timeout(timespec& storage) const;
    void Log(const std::string& line) const;
    void Note(const std::string& line) const;

    Options o_;
    Clock::time_point started_;
    std::unique_ptr<instrument::Answerer> responder_;
    instrument::Pty pty_;
    Line line_ = Line::Open;
};

void Loop::Log(const std::string& line) const {
    if (!o_.verbose)
        return;
    const double t = std::chrono::duration<double>(Clock::now() - started_).count();
    std::fprintf(stderr, "[%9.3f] %s\n", t, line.c_str());
}

// What the responder reports. A poll's select byte is also dated by the wall
// clock to the microsecond ("poll N: select byte at hh:mm:ss.uuuuuu"), so a
// bench can tell how late it left after its quarter-minute mark.
void Loop::Note(const std::string& line) const {
    if (const auto colon = line.find(": select byte 0x80");
        colon != std::string::npos && line.rfind("poll ", 0) == 0) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06ld", local.tm_hour, local.tm_min, local.tm_sec,
                      now.tv_nsec / 1000);
        Log(line.substr(0, colon) + ": select byte at " + text);
    }
    Log(line);
}

int Loop::Run() {
    if (!pty_.Open())
        return 1;
    const std::string what = o_.modbus.empty() ? std::string("mode ") + instrument::ModeName(o_.mode)
                                               : "Modbus RTU devices of " + o_.modbus;
    std::printf("tarvek-instrument: COM%d is %s (link %s), %s%s\n", o_.line, pty_.Device().c_str(),
                pty_.Link().c_str(), what.c_str(), o_.pacing ? "" : ", no pacing");
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
        if (line_ != Line::ClosedByProgram && !SendDue())
            return 1;
        timespec storage{};
        pollfd fd{pty_.Fd(), static_cast<short>(POLLIN | (line_ == Line::Full ? POLLOUT : 0)), 0};
        const int ready = ppoll(&fd, line_ == Line::ClosedByProgram ? 0 : 1, Timeout(storage), &waiting);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "tarvek-instrument: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (line_ == Line::ClosedByProgram) {
            if (pty_.ProgramHasItOpen()) {
                line_ = Line::Open;
                Log("the program opened the line");
            }
            continue;
        }
        if (fd.revents & POLLOUT)
            line_ = Line::Open;
        if (fd.revents & (POLLIN | POLLHUP | POLLERR))
            ReadInput(fd.revents);
    }
    Log("ending on signal " + std::to_string(stopSignal));
    pty_.Close();
    return 0;
}

// How long to wait: until the next byte is due, for the line to take more
// bytes, for input, or until the next look for a reopened line. Null: no end.
timespec* Loop::Timeout(timespec& storage) const {
    Clock::duration wait = Clock::duration::max();
    if (const auto due = responder_->NextDue(); due && line_ == Line::Open)
        wait = std::max(Clock::duration::zero(), *due - Clock::now());
    if (line_ == Line::ClosedByProgram)
        wait = std::min<Clock::duration>(wait, ReopenCheck);
    if (wait == Clock::duration::max())
        return nullptr;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    storage.tv_sec = static_cast<time_t>(ns / 1000000000);
    storage.tv_nsec = static_cast<long>(ns % 1000000000);
    return &storage;
}

// Writes what is due, as much as the line takes, and closes the line when the
// responder hangs up. False when the line cannot be opened again.
bool Loop::SendDue() {
    const instrument::Answerer::Output out = responder_->Due(Clock::now());
    if (!out.bytes.empty()) {
        const ssize_t n = write(pty_.Fd(), out.bytes.data(), out.bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                line_ = Line::Full;
            } else {
                Log(std::string("write: ") + std::strerror(errno) + "; answer dropped");
                responder_->DropOutput();
                line_ = Line::Open;
            }
            return true;
        }
        responder_->Sent(static_cast<std::size_t>(n), Clock::now());
        line_ = static_cast<std::size_t>(n) < out.bytes.size() ? Line::Full : Line::Open;
        if (line_ == Line::Full)
            return true;
    }
    if (out.hangUp) {
        responder_->HungUp();
        if (!pty_.Open())
            return false;
        line_ = Line::Open;
        Log("reopened as " + pty_.Device());
    }
    return true;
}

// Hands everything the program wrote to the responder. A hang-up ends the
// exchange under way and drops the answer still queued for the program, but
// never what the program wrote: by the time the hang-up is seen the program
// may have opened the line again and sent its next select byte. Only a read
// that finds no one at the other end (end of file or an error) leaves the
// line closed until the program opens it again.
void Loop::ReadInput(short revents) {
    bool ended = false; // the exchange ended with the hang-up, nothing received since
    const auto endExchange = [&] {
        responder_->ProgramClosed();
        pty_.DropOutput();
        ended = true;
    };
    if (revents & (POLLHUP | POLLERR))
        endExchange();
    char buffer[256];
    for (;;) {
        const ssize_t n = read(pty_.Fd(), buffer, sizeof buffer);
        if (n > 0) {
            responder_->Received(std::string_view(buffer, static_cast<std::size_t>(n)), Clock::now());
            ended = false;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the program has the line open (again)
        if (!ended)
            endExchange();
        line_ = Line::ClosedByProgram;
        return;
    }
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
    Loop loop(options);
    return loop.Run();
}
