#pragma once

#include "acquisition/InstrumentExchange.h"
#include "acquisition/SerialPortService.h"

#include <QObject>
#include <QTimer>

namespace tarvek {

// What one poll sends: the select byte, the command (after the
// acknowledgement), whether an answer follows it, and the line to poll.
struct PollRequest {
    int selectCode = 0;
    QByteArray command;
    bool replyExpected = false;
    int serialLine = 0;
};

// What one poll brought back: the answer without its carriage return, and
// whether the exchange ran to its end.
struct PollResult {
    QString replyText;
    bool replyComplete = false;
};

// The instrument's reply time-out: 2000 ms without a byte ends the exchange.
inline constexpr int ReplyTimeoutInterval = 2000;

// Polls the instrument once: the exchange of InstrumentExchange carried out on
// a port, event-driven, timed by its own TimerTimeoutCom. Start() returns at
// once; Finished() follows when the exchange is over, always after Start()
// has returned. The port is closed on every way out.
class InstrumentPoll : public QObject {
    Q_OBJECT
  public:
    explicit InstrumentPoll(SerialPortService& port, int replyTimeoutMs = ReplyTimeoutInterval,
                            QObject* parent = nullptr);

    // Begins a poll. Returns false, and does nothing, while one is running.
    bool Start(const PollRequest& request);
    // From Start until Finished is emitted.
    bool IsRunning() const { return running_; }
    // Ends a running poll at once (program exit): stops the timer, closes the
    // port; Finished is not emitted.
    void Abort();

    const QTimer& TimerTimeoutCom() const { return timerTimeoutCom_; }

  signals:
    void Finished(const tarvek::PollResult& result);

  private:
    void OnBytesArrived();
    void OnTimeout();
    void OnPortFailed();
    void Apply(const InstrumentExchange::Actions& actions);
    void Conclude();

    SerialPortService& port_;
    QTimer timerTimeoutCom_;
    InstrumentExchange exchange_;
    bool running_ = false;
    quint64 generation_ = 0; // tells a queued Finished of an aborted poll apart
};

} // namespace tarvek
