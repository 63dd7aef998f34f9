#pragma once

#include "acquisition/InstrumentExchange.h"
#include "acquisition/PortPoll.h"

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

// Polls the instrument once: the exchange of InstrumentExchange carried out on
// a port, timed by its own TimerTimeoutCom. Start() returns at once;
// Finished() follows when the exchange is over (see PortPoll).
class InstrumentPoll : public ExchangePoll<InstrumentExchange> {
    Q_OBJECT
  public:
    explicit InstrumentPoll(SerialPortService& port, int replyTimeoutMs = ReplyTimeoutInterval,
                            QObject* parent = nullptr);

    // Begins a poll. Returns false, and does nothing, while one is running.
    bool Start(const PollRequest& request);

    const QTimer& TimerTimeoutCom() const { return timer_; }

  signals:
    void Finished(const tarvek::PollResult& result);

  private:
    void Conclude() override;

    int replyTimeoutMs_;
};

} // namespace tarvek
