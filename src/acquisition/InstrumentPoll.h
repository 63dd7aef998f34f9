#pragma once

#include "acquisition/InstrumentExchange.h"
#include "acquisition/SerialPortService.h"
#include "common/Declarations.h"

#include <QObject>
#include <QTimer>

namespace tarvek {

// Polls the instrument once: the exchange of InstrumentExchange carried out on
// a port, event-driven. Start() returns at once; the window, its timers and
// its commands keep running while the poll waits for the instrument, and
// Finished() follows when the exchange is over, always after Start() has
// returned.
//
// Inputs, read at Start: SelectCode, CommandText (sent as Latin-1),
// ReplyExpected (nonzero: collect an answer), SerialLine. Results: ReplyText
// and ReplyComplete are set to "" and 0 at Start and to the outcome at the
// end. The port is closed on every way out.
//
// `replyTimeout` is the window's reply time-out timer (2000 ms). The poll
// restarts it (clearing ReplyTimedOut) whenever it begins to wait. When it
// fires, the poll sets ReplyTimedOut to 1 and stops it, as the window's own
// handler does, so the poll works whether or not such a handler is connected.
// The timer is stopped when the poll ends.
class InstrumentPoll : public QObject {
    Q_OBJECT
  public:
    InstrumentPoll(Declarations& state, SerialPortService& port, QTimer& replyTimeout,
                   QObject* parent = nullptr);

    // Begins a poll. Returns false, and does nothing, while one is running.
    bool Start();
    // From Start until Finished is emitted.
    bool IsRunning() const { return running_; }
    // Ends a running poll at once (program exit): stops the timer, closes the
    // port; ReplyComplete stays 0 and Finished is not emitted.
    void Abort();

  signals:
    void Finished();

  private:
    void OnBytesArrived();
    void OnTimeout();
    void OnPortFailed();
    void Apply(const InstrumentExchange::Actions& actions);
    void Conclude();

    Declarations& state_;
    SerialPortService& port_;
    QTimer& timer_;
    InstrumentExchange exchange_;
    bool running_ = false;
    quint64 generation_ = 0; // tells a queued Finished of an aborted poll apart
};

} // namespace tarvek
