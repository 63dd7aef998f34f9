#include "acquisition/InstrumentPoll.h"

namespace tarvek {

InstrumentPoll::InstrumentPoll(SerialPortService& port, int replyTimeoutMs, QObject* parent)
    : QObject(parent), port_(port) {
    timerTimeoutCom_.setObjectName(QStringLiteral("TimerTimeoutCom"));
    timerTimeoutCom_.setInterval(replyTimeoutMs);
    timerTimeoutCom_.setSingleShot(true);
    timerTimeoutCom_.setTimerType(Qt::PreciseTimer);
    connect(&port_, &SerialPortService::BytesArrived, this, &InstrumentPoll::OnBytesArrived);
    connect(&port_, &SerialPortService::PortFailed, this, &InstrumentPoll::OnPortFailed);
    connect(&timerTimeoutCom_, &QTimer::timeout, this, &InstrumentPoll::OnTimeout);
}

bool InstrumentPoll::Start(const PollRequest& request) {
    if (running_)
        return false;
    running_ = true;
    ++generation_;
    exchange_ = InstrumentExchange();

    // A port left open (by the Start command) is reopened, so that a changed
    // serial line takes effect and the receive buffer starts empty.
    if (port_.IsOpen())
        port_.Close();
    port_.SelectPort(request.serialLine);
    if (!port_.IsOpen() && !port_.Open()) {
        Conclude(); // failed, as after a time-out; Finished follows from the event loop
        return true;
    }
    Apply(exchange_.Start(request.selectCode, request.command, request.replyExpected));
    return true;
}

void InstrumentPoll::Abort() {
    if (!running_)
        return;
    ++generation_;
    running_ = false;
    exchange_ = InstrumentExchange();
    timerTimeoutCom_.stop();
    port_.Close();
}

void InstrumentPoll::OnBytesArrived() {
    if (!running_ || !exchange_.IsRunning())
        return;
    const QByteArray bytes = port_.Read(port_.BytesWaiting());
    if (!bytes.isEmpty())
        Apply(exchange_.BytesReceived(bytes));
}

void InstrumentPoll::OnTimeout() {
    if (running_)
        Apply(exchange_.TimedOut());
}

void InstrumentPoll::OnPortFailed() {
    if (running_)
        Apply(exchange_.PortFailed());
}

void InstrumentPoll::Apply(const InstrumentExchange::Actions& actions) {
    if (actions.discardWaiting)
        port_.Discard();
    if (!actions.write.isEmpty())
        port_.Write(actions.write);
    if (actions.restartTimeout)
        timerTimeoutCom_.start();
    if (actions.closePort)
        port_.Close();
    if (actions.finished)
        Conclude();
}

void InstrumentPoll::Conclude() {
    timerTimeoutCom_.stop();
    if (port_.IsOpen())
        port_.Close();
    // Finished goes out from the event loop: by then every other handler of
    // the signal that ended the poll has run, and cannot undo what the
    // receiver of Finished starts next.
    const PollResult result{QString::fromLatin1(exchange_.ReplyText()), exchange_.ReplyComplete()};
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, result] {
            if (!running_ || generation != generation_)
                return;
            running_ = false;
            emit Finished(result);
        },
        Qt::QueuedConnection);
}

} // namespace tarvek
