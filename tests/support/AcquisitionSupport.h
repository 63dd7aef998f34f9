#pragma once

// Helpers for the acquisition tests: waiting through the event loop, the
// simulated instrument as a child process.
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` has passed; true when
// it holds. Checks every few milliseconds from a timer: never spins.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

// Lets the event loop run for `ms` milliseconds, to see that nothing happens.
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

#ifdef TARVEK_INSTRUMENT
// The simulated instrument, serving line 1 of a scratch application folder.
class SimulatedInstrument {
  public:
    explicit SimulatedInstrument(const QStringList& extraArguments) {
        process_.start(QStringLiteral(TARVEK_INSTRUMENT),
                       QStringList{"--folder", Folder(), "--line", "1", "--verbose"} + extraArguments);
        started_ = process_.waitForStarted(10000) && WaitUntil([this] { return QFileInfo::exists(Link()); });
    }
    ~SimulatedInstrument() { Stop(); }

    bool Started() const { return started_; }
    QString Folder() const { return dir_.path(); }
    QString Link() const { return Folder() + "/ports/COM1"; }
    // Its log so far (--verbose writes one line per event).
    QString Log() { return log_ += QString::fromLocal8Bit(process_.readAllStandardError()); }
    // Ends it with SIGTERM, as Ctrl-C would: it removes its link.
    void Stop() {
        process_.terminate();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    QString log_;
    bool started_ = false;
};
#endif
