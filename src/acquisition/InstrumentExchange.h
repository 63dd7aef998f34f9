#pragma once

#include "acquisition/PortActions.h"

namespace tarvek {

// The instrument's reply time-out: 2000 ms without a byte ends the exchange.
inline constexpr int ReplyTimeoutInterval = 2000;

// One exchange with the instrument as pure rules (no port, timer or clock),
// so it is testable without I/O; the driver feeds it line events and carries
// out the returned Actions in field order (each time-out the reply time-out). Select byte, "!", command + CR,
// answer + CR; any deviation, time-out or overlong answer fails it.
class InstrumentExchange {
  public:
    // No sound answer is longer; the port's receive buffer holds as much.
    static constexpr int ReplyLimit = 1024;
    static constexpr char Acknowledge = '!';
    static constexpr char CarriageReturn = '\r';

    using Actions = PortActions;

    explicit InstrumentExchange(int replyTimeoutMs = ReplyTimeoutInterval)
        : replyTimeoutMs_(replyTimeoutMs) {}

    enum class Phase { Idle, AwaitingAcknowledge, AwaitingReply, Finished };

    // Begins an exchange (abandoning any other): the select byte is the low
    // byte of `selectCode`.
    Actions Start(int selectCode, const QByteArray& command, bool replyExpected);
    // Bytes read from the port, oldest first, one or many at a time.
    Actions BytesReceived(const QByteArray& bytes);
    Actions BytesReceived(char byte) { return BytesReceived(QByteArray(1, byte)); }
    // The reply time-out elapsed.
    Actions TimedOut();
    // The port failed.
    Actions PortFailed();

    bool IsRunning() const { return phase_ == Phase::AwaitingAcknowledge || phase_ == Phase::AwaitingReply; }
    const QByteArray& ReplyText() const { return reply_; }
    bool ReplyComplete() const { return complete_; }

  private:
    Actions Finish(bool complete);

    int replyTimeoutMs_;
    Phase phase_ = Phase::Idle;
    QByteArray command_;
    bool replyExpected_ = true;
    QByteArray reply_;
    bool complete_ = false;
};

} // namespace tarvek
