// The Modbus RTU poll's budget: eight channels from eight devices at
// 9600 bit/s 8E1 (the default line), polled through the real port service
// against the simulated devices, which pace their replies at the line's bit
// rate (the pseudo-terminal itself is instant, so the requests leave at
// once). Prints each poll's time beside the frames' own length on the wire
// and the silences the poll keeps, then the same with one device and with
// every device silent (a reply time-out each), against the 15 s between
// quarter-minute marks. Built and run by modbus.sh.
#include "acquisition/DeviceSerialPortService.h"
#include "acquisition/ModbusPoll.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace tarvek;

namespace {

constexpr int Devices = 8;
constexpr double BudgetMs = 15000;

// The default set-up's line and timing.
const ModbusTiming Timing{{9600, Parity::Even, 1}, 1000, 5};

struct Figures {
    double best = 1e9, worst = 0, total = 0;
    int polls = 0, answered = 0;
};

// Polls `polls` times against devices 1..8 (holding register 0 each) with
// `faults` ("3=silent") and returns the wall times.
Figures Measure(const QString& instrumentProgram, const QStringList& faults, int polls) {
    QTemporaryDir folder;
    QString registers;
    for (int a = 1; a <= Devices; ++a)
        registers += QStringLiteral("%1 holding 0 %2\n").arg(a).arg(100 * a);
    QFile file(folder.path() + "/registers.txt");
    if (!file.open(QIODevice::WriteOnly) || file.write(registers.toLatin1()) != registers.size())
        return {};
    file.close();
    QStringList arguments{"--folder",   folder.path(),
                          "--modbus",   folder.path() + "/registers.txt",
                          "--bit-rate", QString::number(Timing.line.bitRate)};
    for (const QString& fault : faults)
        arguments << "--fault" << fault;
    QProcess instrument;
    instrument.start(instrumentProgram, arguments);
    Figures f;
    if (!WaitUntil([&] { return QFileInfo::exists(folder.path() + "/ports/COM1"); }, 10000))
        return f;

    ModbusSources sources;
    for (int k = 0; k < Devices; ++k)
        sources[k] = ModbusSource{k + 1, ReadHoldingRegisters, 0};
    DeviceSerialPortService port(folder.path());
    ModbusPoll poll(port);
    bool finished = false;
    QObject::connect(&poll, &ModbusPoll::Finished, [&](const ModbusPollResult& r) {
        finished = true;
        f.answered = r.answered ? f.answered + 1 : f.answered;
    });
    for (int i = 0; i < polls; ++i) {
        finished = false;
        QElapsedTimer wall;
        wall.start();
        poll.Start({1, Timing, sources});
        WaitUntil([&] { return finished; }, 20000);
        const double ms = wall.nsecsElapsed() / 1e6;
        f.best = std::min(f.best, ms), f.worst = std::max(f.worst, ms), f.total += ms, ++f.polls;
    }
    instrument.terminate();
    instrument.waitForFinished(5000);
    return f;
}

void Print(const char* what, const Figures& f, double floorMs) {
    if (f.polls == 0) {
        std::printf("%s: the simulated devices did not start\n", what);
        return;
    }
    std::printf("%-22s mean %7.1f ms, best %7.1f, worst %7.1f (%d polls, %d answered); floor %7.1f ms; "
                "%.1f%% of the 15 s\n",
                what, f.total / f.polls, f.best, f.worst, f.polls, f.answered, floorMs,
                100.0 * f.worst / BudgetMs);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // in order with the poll's notes on stderr
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvek-modbus-bench INSTRUMENT [POLLS]\n");
        return 2;
    }
    const QString instrument = QString::fromLocal8Bit(argv[1]);
    const int polls = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 5;

    // One read of one register per device: an 8-byte request, a 7-byte reply.
    const double request = WireMilliseconds(8, Timing.line), reply = WireMilliseconds(7, Timing.line);
    const double silence =
        std::ceil(std::max(double(Timing.silenceMs), FrameSilenceMilliseconds(Timing.line)));
    const double turnaround = 3.5 * WireMilliseconds(1, Timing.line); // the devices' own silence
    std::printf(
        "%d devices at %d bit/s, %d bits a byte: per device request %.2f ms + reply %.2f ms on the wire, "
        "the poll's silence %.0f ms before each request, the device's %.2f ms before its reply\n",
        Devices, Timing.line.bitRate, BitsPerByte(Timing.line), request, reply, silence, turnaround);
    const double frames = Devices * (request + reply);
    std::printf("frames' own length: %.1f ms; with every silence, as on a real line: %.1f ms\n"
                "floor: what the pseudo-terminal allows (requests at once, replies paced, the silences)\n",
                frames, frames + Devices * (silence + turnaround));

    const double answering = Devices * (reply + silence + turnaround);
    Print("all answer", Measure(instrument, {}, polls), answering);
    Print("device 5 silent", Measure(instrument, {"5=silent"}, polls),
          answering - reply - turnaround + Timing.replyTimeoutMs + request);
    QStringList allSilent;
    for (int a = 1; a <= Devices; ++a)
        allSilent << QStringLiteral("%1=silent").arg(a);
    Print("all silent", Measure(instrument, allSilent, 1),
          Devices * (silence + Timing.replyTimeoutMs + request));
    return 0;
}
