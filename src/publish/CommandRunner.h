#pragma once

#include "publish/NotifyPlan.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <functional>

namespace tarvek {

// Runs the notification command as NotifyPlan decides: one process at a
// time, started without a shell, the run's lines on its standard input and
// its event in the environment. Nothing here waits: the process, its time-out
// and the next run are driven by the event loop. A run that exceeds its
// time-out is killed with its process group (a script's children too).
class CommandRunner : public QObject {
    Q_OBJECT

  public:
    // `say` gets what is said on stderr.
    CommandRunner(NotifySettings settings, EventPosition notified, std::function<void(const QString&)> say,
                  QObject* parent = nullptr);
    ~CommandRunner() override;

    // Events in stored order, as the feed gave them: how many of the first
    // were taken (all without a command); the others wait for Ready.
    std::size_t Add(const std::vector<FedEvent>& events);
    // The run held goes now, without waiting out its batch.
    void RunGathered();
    // After the last event notified: for the state file.
    const EventPosition& Notified() const { return plan_.Notified(); }
    // Nothing runs and nothing waits: every event added was notified.
    bool Idle() const { return !process_ && !plan_.NextRunMs(); }

  signals:
    // The place after the last event notified moved on.
    void Progressed(const tarvek::EventPosition& notified);
    // A run failed; it is tried again later.
    void RunFailed();
    // A run succeeded: events refused before may be added now.
    void Ready();

  private:
    void Step();
    void Start(const NotifyRun& run);
    void End(const RunEnd& end);

    NotifySettings settings_;
    NotifyPlan plan_;
    std::function<void(const QString&)> say_;
    QProcess* process_ = nullptr;
    QByteArray output_;
    QTimer next_, deadline_;
};

} // namespace tarvek
