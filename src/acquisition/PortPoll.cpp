#include "acquisition/PortPoll.h"

namespace tarvek {

PortPoll::PortPoll(SerialPortService& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&port_, &SerialPortService::BytesArrived, this, [this] {
        if (!running_ || !Exchanging())
            return;
        const QByteArray bytes = port_.Read(port_.BytesWaiting());
        if (!bytes.isEmpty())
            Carry(Received(bytes));
    });
    connect(&port_, &SerialPortService::PortFailed, this, [this] {
        if (running_)
            Carry(PortFailed());
    });
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (running_)
            Carry(TimedOut());
    });
}

bool PortPoll::Begin(int serialLine) {
    if (running_)
        return false;
    running_ = true;
    ++generation_;
    if (port_.IsOpen())
        port_.Close();
    port_.SelectPort(serialLine);
    return true;
}

void PortPoll::Abort() {
    if (!running_)
        return;
    ++generation_;
    running_ = false;
    timer_.stop();
    port_.Close();
}

void PortPoll::Carry(const PortActions& actions) {
    if (actions.discardWaiting)
        port_.Discard();
    if (!actions.write.isEmpty())
        port_.Write(actions.write);
    if (actions.timeoutMs >= 0)
        timer_.start(actions.timeoutMs);
    if (actions.closePort)
        port_.Close();
    if (actions.finished)
        Conclude();
}

void PortPoll::End(std::function<void()> handOut) {
    timer_.stop();
    if (port_.IsOpen())
        port_.Close();
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, handOut = std::move(handOut)] {
            if (!running_ || generation != generation_)
                return;
            running_ = false;
            handOut();
        },
        Qt::QueuedConnection);
}

} // namespace tarvek
