#include "publish/CommandRunner.h"

#include "publish/NotifyMail.h"

#include <QDateTime>
#include <QProcessEnvironment>

#include <csignal>
#include <unistd.h>

namespace tarvek {

namespace {

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The last line a command wrote, for the message that it failed.
QString LastLine(const QByteArray& output) {
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return QString::fromUtf8(lines.last().trimmed().left(200));
}

// Ends `process` and everything it started: its process group. Never with
// no process id yet, which would name the publisher's own group.
void KillGroup(const QProcess& process) {
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
}

} // namespace

CommandRunner::CommandRunner(NotifySettings settings, EventPosition notified,
                             std::function<void(const QString&)> say, QObject* parent)
    : QObject(parent), settings_(settings), plan_(std::move(settings), std::move(notified)),
      say_(std::move(say)) {
    next_.setSingleShot(true);
    deadline_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, &CommandRunner::Step);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (process_)
            KillGroup(*process_);
    });
}

CommandRunner::~CommandRunner() {
    if (process_) {
        process_->disconnect(this);
        KillGroup(*process_);
        process_->waitForFinished(1000);
    }
}

std::size_t CommandRunner::Add(const std::vector<FedEvent>& events) {
    if (settings_.command.isEmpty())
        return events.size();
    const EventPosition before = plan_.Notified();
    std::size_t taken = 0;
    while (taken < events.size() && plan_.Add(events[taken], NowMs()))
        ++taken;
    if (plan_.Notified() != before)
        emit Progressed(plan_.Notified());
    Step();
    return taken;
}

void CommandRunner::RunGathered() {
    plan_.RunGathered();
    next_.stop();
    Step();
}

void CommandRunner::Step() {
    if (process_)
        return;
    if (const std::optional<NotifyRun> run = plan_.Take(NowMs())) {
        Start(*run);
        return;
    }
    if (const std::optional<qint64> at = plan_.NextRunMs())
        next_.start(int(std::clamp<qint64>(*at - NowMs(), 0, 3'600'000)));
}

void CommandRunner::Start(const NotifyRun& run) {
    process_ = new QProcess(this);
    output_.clear();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : run.environment)
        environment.insert(name, value);
    process_->setProcessEnvironment(environment);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that a time-out ends what it started too.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process_, &QProcess::readyRead, this,
            [this] { output_ = (output_ + process_->readAll()).right(4096); });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            End({false, QStringLiteral("cannot start: %1").arg(process_->errorString())});
    });
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const bool timedOut = !deadline_.isActive();
        QString why = timedOut ? QStringLiteral("no end after %1 s, killed").arg(settings_.timeoutSeconds)
                      : status == QProcess::CrashExit ? QStringLiteral("ended by a signal")
                                                      : QStringLiteral("exit status %1").arg(code);
        output_ += process_->readAll();
        if (const QString line = LastLine(output_); !line.isEmpty())
            why += QStringLiteral(": ") + line;
        End({!timedOut && status == QProcess::NormalExit && code == 0, why});
    });
    deadline_.start(settings_.timeoutSeconds * 1000);
    QProcess* const process = process_;
    process->start(settings_.command.first(), settings_.command.mid(1));
    if (process_ != process) // could not start: said and ended already
        return;
    process->write(MailMessage(run.subject, run.lines));
    process->closeWriteChannel();
}

void CommandRunner::End(const RunEnd& end) {
    deadline_.stop();
    process_->disconnect(this);
    process_->deleteLater();
    process_ = nullptr;
    const EventPosition before = plan_.Notified();
    if (const QString text = plan_.Finished(end, NowMs()); !text.isEmpty())
        say_(text);
    if (plan_.Notified() != before)
        emit Progressed(plan_.Notified());
    if (!end.ok)
        emit RunFailed();
    Step();
    if (end.ok)
        emit Ready();
}

} // namespace tarvek
