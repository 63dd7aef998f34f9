#pragma once

// Helpers for the acquisition tests: waiting through the event loop, the
// simulated instrument as a child process, and closing the modal message box.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` has passed; true when
// it holds. Checks every few milliseconds from a timer: never spins.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

// Lets the event loop run for `ms` milliseconds, to see that nothing happens.
inline void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Watches for an application-modal message box and presses its OK button,
// noting what it showed. Should a box be missed, any message box still open
// when the closer is destroyed is closed too, so no test is left waiting.
class MessageBoxCloser {
  public:
    struct Seen {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool modal = false;
    };

    MessageBoxCloser() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            seen_.push_back(
                {box->text(), box->windowTitle(), box->icon(), box->standardButtons(), box->isModal()});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        timer_.start();
    }
    ~MessageBoxCloser() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
                box->reject();
        }
    }
    const std::vector<Seen>& SeenBoxes() const { return seen_; }

  private:
    QTimer timer_;
    std::vector<Seen> seen_;
};

#ifdef TARVEK_INSTRUMENT
// The simulated instrument, serving line 1 of a scratch application folder.
class SimulatedInstrument {
  public:
    explicit SimulatedInstrument(const QStringList& extraArguments) {
        folder_ = dir_.path();
        process_.setProgram(QStringLiteral(TARVEK_INSTRUMENT));
        process_.setArguments(QStringList{"--folder", folder_, "--line", "1", "--verbose"} + extraArguments);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        started_ = process_.waitForStarted(10000) && WaitUntil([this] { return QFileInfo::exists(Link()); });
    }
    ~SimulatedInstrument() { Stop(); }

    bool Started() const { return started_; }
    QString Folder() const { return folder_; }
    QString Link() const { return folder_ + "/ports/COM1"; }
    // Its log so far (--verbose writes one line per event).
    QString Log() {
        log_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return log_;
    }
    // Ends it with SIGTERM; its exit code, or -1 when it did not end cleanly.
    int Stop() {
        if (process_.state() == QProcess::NotRunning)
            return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(10000);
            return -1;
        }
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QTemporaryDir dir_;
    QString folder_;
    QProcess process_;
    QString log_;
    bool started_ = false;
};
#endif
