#pragma once

#include <QByteArray>

namespace tarvek {

// One exchange with the instrument, as rules only: no port, no timer, no
// clock. The driver feeds it what happens on the line and carries out the
// actions it answers with, in the order of the fields of Actions.
//
//   program:    select byte                 command + CR
//   instrument:             "!"  (dropped)                answer ... CR
//
// - "!" must be the first byte after the select byte; any other first byte
//   fails the exchange at once, even if "!" follows.
// - Bytes that come with or after "!" before the command is written are
//   dropped (the rest of the same chunk, and the port's waiting bytes).
// - The command and its carriage return are written in one piece.
// - The reply time-out restarts after the select byte, after the command and
//   after every answer character; a time-out fails the exchange.
// - The answer is kept without its carriage return. An answer that reaches
//   ReplyLimit characters without one fails the exchange: it would otherwise
//   hold the line for as long as the instrument keeps talking.
// - A port failure fails the exchange. Every way out closes the port.
class InstrumentExchange {
  public:
    // The port's receive buffer: no sound answer is longer.
    static constexpr int ReplyLimit = 1024;
    static constexpr char Acknowledge = '!';
    static constexpr char CarriageReturn = '\r';

    struct Actions {
        bool discardWaiting = false; // drop the bytes waiting in the port
        QByteArray write;            // then write these bytes (empty: none)
        bool restartTimeout = false; // then restart the reply time-out
        bool closePort = false;      // then close the port
        bool finished = false;       // the exchange is over: ReplyText/ReplyComplete are final
    };

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

    Phase phase_ = Phase::Idle;
    QByteArray command_;
    bool replyExpected_ = true;
    QByteArray reply_;
    bool complete_ = false;
};

} // namespace tarvek
