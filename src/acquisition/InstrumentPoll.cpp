#include "acquisition/InstrumentPoll.h"

namespace tarvek {

InstrumentPoll::InstrumentPoll(Declarations& state, SerialPortService& port, QTimer& replyTimeout,
                               QObject* parent)
    : QObject(parent), state_(state), port_(port), timer_(replyTimeout) {
    connect(&port_, &SerialPortService::BytesArrived, this, &InstrumentPoll::OnBytesArrived);
    connect(&port_, &SerialPortService::PortFailed, this, &InstrumentPoll::OnPortFailed);
    connect(&timer_, &QTimer::timeout, this, &InstrumentPoll::OnTimeout);
}

bool InstrumentPoll::Start() {
    if (running_)
        return false;
    running_ = true;
    ++generation_;
    exchange_ = InstrumentExchange();
    state_.ReplyText.clear();
    state_.ReplyComplete = 0;

    // A port left open (by the Start command) is reopened, so that a changed
    // SerialLine takes effect and the receive buffer starts empty.
    if (port_.IsOpen())
        port_.Close();
    port_.SelectPort(state_.SetUp.SerialLine);
    if (!port_.IsOpen() && !port_.Open()) {
        Conclude(); // failed, as after a time-out; Finished follows from the event loop
        return true;
    }
    Apply(exchange_.Start(state_.SelectCode, state_.CommandText.toLatin1(), state_.ReplyExpected != 0));
    return true;
}

void InstrumentPoll::Abort() {
    if (!running_)
        return;
    ++generation_;
    running_ = false;
    exchange_ = InstrumentExchange();
    timer_.stop();
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
    // What the window's time-out handler does; doing it twice is harmless.
    state_.ReplyTimedOut = 1;
    timer_.stop();
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
    if (actions.restartTimeout) {
        timer_.start();
        state_.ReplyTimedOut = 0;
    }
    if (actions.closePort)
        port_.Close();
    if (actions.finished)
        Conclude();
}

void InstrumentPoll::Conclude() {
    timer_.stop();
    if (port_.IsOpen())
        port_.Close();
    state_.ReplyText = QString::fromLatin1(exchange_.ReplyText());
    state_.ReplyComplete = exchange_.ReplyComplete() ? 1 : 0;
    // Finished goes out from the event loop: by then every other handler of
    // the signal that ended the poll (the window's time-out handler, for one)
    // has run, and cannot undo what the receiver of Finished starts next.
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (!running_ || generation != generation_)
                return;
            running_ = false;
            emit Finished();
        },
        Qt::QueuedConnection);
}

} // namespace tarvek
