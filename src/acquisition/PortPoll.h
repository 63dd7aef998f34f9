#pragma once

#include "acquisition/PortActions.h"
#include "acquisition/SerialPortService.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace tarvek {

// What every poll shares: an exchange's rules carried out on a port,
// event-driven, timed by one timer. A poll runs from Begin until its result
// is handed out from the event loop: always after Start has returned, and
// after every other handler of the signal that ended the poll has run, so it
// cannot undo what the receiver starts next. The port is closed on every way
// out.
class PortPoll : public QObject {
  public:
    // From Start until the result is handed out.
    bool IsRunning() const { return running_; }
    // Ends a running poll at once (program exit): stops the timer, closes
    // the port; nothing is handed out.
    void Abort();

  protected:
    PortPoll(SerialPortService& port, QObject* parent);

    // False while a poll runs. Otherwise reopens: a port left open (by the
    // Start command) is closed, so that a changed line or framing takes
    // effect and the receive buffer starts empty, and `serialLine` selected.
    bool Begin(int serialLine);
    void Carry(const PortActions& actions);
    // Stops the timer, closes the port and hands `handOut` to the event loop.
    void End(std::function<void()> handOut);

    SerialPortService& port_;
    QTimer timer_;

  private:
    // The exchange's rules: whether it still waits for bytes, and what it
    // does on bytes, a time-out and a failed port.
    virtual bool Exchanging() const = 0;
    virtual PortActions Received(const QByteArray& bytes) = 0;
    virtual PortActions TimedOut() = 0;
    virtual PortActions PortFailed() = 0;
    // Called when the actions say the exchange is over; ends with End.
    virtual void Conclude() = 0;

    bool running_ = false;
    quint64 generation_ = 0; // tells a queued result of an aborted poll apart
};

// A poll carrying out the rules of an Exchange (IsRunning, BytesReceived,
// TimedOut, PortFailed, each giving PortActions).
template <class Exchange> class ExchangePoll : public PortPoll {
  protected:
    using PortPoll::PortPoll;

    Exchange exchange_;

  private:
    bool Exchanging() const override { return exchange_.IsRunning(); }
    PortActions Received(const QByteArray& bytes) override { return exchange_.BytesReceived(bytes); }
    PortActions TimedOut() override { return exchange_.TimedOut(); }
    PortActions PortFailed() override { return exchange_.PortFailed(); }
};

} // namespace tarvek
