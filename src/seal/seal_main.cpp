// tarvek-seal --data DIR --seals DIR --keys DIR: seals every month file of
// the data folder (copies, chain, signed lines in the seals folder) until
// SIGTERM or SIGINT. Exit 0 after a clean stop, 2 for a wrong command line,
// 3 when the key or the seals cannot be used or written.
#include "seal/ProgramLine.h"
#include "seal/SealClock.h"
#include "seal/SealService.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace tarvek;

namespace {

[[noreturn]] void Fail(const QString& error) {
    std::fprintf(stderr, "tarvek-seal: %s\n", qPrintable(error));
    std::exit(3);
}

// SIGTERM and SIGINT as events of the loop.
int SignalDescriptor() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProgramLine line("Seals the month files of a data folder.");
    const QCommandLineOption data = line.Option("data", "The data folder.", "DIR");
    const QCommandLineOption seals = line.Option("seals", "The seals folder.", "DIR");
    const QCommandLineOption keys = line.Option("keys", "The key folder (0700).", "DIR");
    QCommandLineParser& parser = line.Parser();
    if (!parser.parse(app.arguments()) || !parser.positionalArguments().isEmpty() || !parser.isSet(data) ||
        !parser.isSet(seals) || !parser.isSet(keys)) {
        std::fprintf(stderr, "usage: tarvek-seal --data DIR --seals DIR --keys DIR\n");
        return 2;
    }
    const int stopFd = SignalDescriptor();
    SealService service({parser.value(data), parser.value(seals), parser.value(keys)}, ReadSealTime);
    if (!service.Start())
        Fail(service.Error());
    std::fprintf(stderr, "tarvek-seal: sealing %s; key %s, fingerprint %s\n", qPrintable(parser.value(data)),
                 KeyId(service.State()->Key().Public()).constData(),
                 Fingerprint(service.State()->Key().Public()).constData());
    const auto step = [&] {
        if (!service.Step())
            Fail(service.Error());
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, step);
    tick.start(1000);
    const ClockStepWatch clock(step);
    QSocketNotifier stop(stopFd, QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&] {
        if (!service.Stop())
            Fail(service.Error());
        app.quit();
    });
    return app.exec();
}
