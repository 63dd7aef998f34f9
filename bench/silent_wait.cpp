// CPU that the program and the simulated instrument use while a poll waits.
// Runs polls of line 1 against tarvek-instrument (in a scratch folder) and
// prints, per poll, the wall time and the CPU time of this process and of the
// instrument. Built and run by silent_wait.sh.
#include "acquisition/DeviceSerialPortService.h"
#include "acquisition/InstrumentPoll.h"
#include "support/AcquisitionSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

using namespace tarvek;

namespace {

double OwnCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double ProcessCpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the file (utime, stime) are 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1e3 / sysconf(_SC_CLK_TCK);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvek-silent-wait INSTRUMENT [MODE [POLLS]]\n");
        return 2;
    }
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("silent");
    const int polls = argc > 3 ? QByteArray(argv[3]).toInt() : 5;

    QTemporaryDir folder;
    QProcess instrument;
    instrument.start(QString::fromLocal8Bit(argv[1]),
                     {"--folder", folder.path(), "--line", "1", "--mode", mode});
    const QString link = folder.path() + "/ports/COM1";
    WaitUntil([&] { return QFileInfo::exists(link); }, 10000);
    if (!QFileInfo::exists(link)) {
        std::fprintf(stderr, "the instrument did not start\n");
        return 1;
    }

    DeviceSerialPortService port(folder.path());
    InstrumentPoll poll(port);
    bool finished = false;
    PollResult result;
    QObject::connect(&poll, &InstrumentPoll::Finished, [&](const PollResult& r) {
        result = r;
        finished = true;
    });

    double totalWall = 0, totalOwn = 0, totalInstrument = 0;
    for (int i = 1; i <= polls; ++i) {
        finished = false;
        QElapsedTimer wall;
        const double own0 = OwnCpuMs();
        const double inst0 = ProcessCpuMs(instrument.processId());
        wall.start();
        poll.Start({128, "K", true, 1});
        QEventLoop loop;
        QObject::connect(&poll, &InstrumentPoll::Finished, &loop, &QEventLoop::quit);
        if (!finished)
            loop.exec();
        const double ms = wall.nsecsElapsed() / 1e6;
        const double own = OwnCpuMs() - own0;
        const double inst = ProcessCpuMs(instrument.processId()) - inst0;
        totalWall += ms;
        totalOwn += own;
        totalInstrument += inst;
        std::printf(
            "poll %d (%s): ReplyComplete %d, wall %.1f ms, program CPU %.2f ms, instrument CPU %.2f ms\n", i,
            qPrintable(mode), result.replyComplete ? 1 : 0, ms, own, inst);
    }
    std::printf("total: wall %.1f ms, program CPU %.2f ms (%.3f%% of one core), instrument CPU %.2f ms\n",
                totalWall, totalOwn, 100.0 * totalOwn / totalWall, totalInstrument);
    instrument.terminate();
    instrument.waitForFinished(5000);
    return 0;
}
