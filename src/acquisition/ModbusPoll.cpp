#include "acquisition/ModbusPoll.h"

#include <cstdio>

namespace tarvek {

ModbusPoll::ModbusPoll(SerialPortService& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&port_, &SerialPortService::BytesArrived, this, &ModbusPoll::OnBytesArrived);
    connect(&port_, &SerialPortService::PortFailed, this, [this] {
        if (running_)
            Apply(exchange_.PortFailed());
    });
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (running_)
            Apply(exchange_.TimedOut());
    });
}

bool ModbusPoll::Start(const ModbusPollRequest& request) {
    if (running_)
        return false;
    running_ = true;
    ++generation_;
    // Reopened as the instrument's poll does: a changed line or framing
    // takes effect, and the receive buffer starts empty.
    if (port_.IsOpen())
        port_.Close();
    port_.SelectPort(request.serialLine);
    port_.SelectLineSettings(request.timing.line);
    const ModbusExchange::Actions first = exchange_.Start(request.sources, request.timing);
    if (!port_.Open()) {
        exchange_.PortFailed(); // said once by the notes, not at every poll
        Conclude();             // Finished follows from the event loop
        return true;
    }
    Apply(first);
    return true;
}

void ModbusPoll::Abort() {
    if (!running_)
        return;
    ++generation_;
    running_ = false;
    timer_.stop();
    port_.Close();
}

void ModbusPoll::OnBytesArrived() {
    if (!running_ || !exchange_.IsRunning())
        return;
    const QByteArray bytes = port_.Read(port_.BytesWaiting());
    if (!bytes.isEmpty())
        Apply(exchange_.BytesReceived(bytes));
}

void ModbusPoll::Apply(const ModbusExchange::Actions& actions) {
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

void ModbusPoll::Conclude() {
    timer_.stop();
    if (port_.IsOpen())
        port_.Close();
    for (const QString& note : notes_.Follow(exchange_.Outcomes()))
        std::fprintf(stderr, "tarvek: %s\n", qPrintable(note));
    const ModbusPollResult result{exchange_.Readings(), exchange_.Answered()};
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
