#include "acquisition/InstrumentExchange.h"

namespace tarvek {

InstrumentExchange::Actions InstrumentExchange::Start(int selectCode, const QByteArray& command,
                                                      bool replyExpected) {
    phase_ = Phase::AwaitingAcknowledge;
    command_ = command;
    replyExpected_ = replyExpected;
    reply_.clear();
    complete_ = false;
    Actions a;
    a.write = QByteArray(1, static_cast<char>(selectCode & 0xFF));
    a.timeoutMs = replyTimeoutMs_;
    return a;
}

InstrumentExchange::Actions InstrumentExchange::BytesReceived(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return {};
    if (phase_ == Phase::AwaitingAcknowledge) {
        if (bytes.front() != Acknowledge)
            return Finish(false);
        // Whatever came with the acknowledgement is dropped with the rest of
        // the waiting bytes.
        Actions a = replyExpected_ ? Actions{} : Finish(true);
        a.discardWaiting = true;
        a.write = command_ + CarriageReturn;
        if (replyExpected_) {
            phase_ = Phase::AwaitingReply;
            a.timeoutMs = replyTimeoutMs_;
        }
        return a;
    }
    if (phase_ != Phase::AwaitingReply)
        return {};
    Actions a;
    for (const char c : bytes) {
        if (c == CarriageReturn)
            return Finish(true); // what follows the carriage return is never seen
        reply_ += c;
        if (reply_.size() >= ReplyLimit)
            return Finish(false);
        a.timeoutMs = replyTimeoutMs_;
    }
    return a;
}

InstrumentExchange::Actions InstrumentExchange::TimedOut() {
    return IsRunning() ? Finish(false) : Actions{};
}

InstrumentExchange::Actions InstrumentExchange::PortFailed() {
    return IsRunning() ? Finish(false) : Actions{};
}

InstrumentExchange::Actions InstrumentExchange::Finish(bool complete) {
    phase_ = Phase::Finished;
    complete_ = complete;
    Actions a;
    a.closePort = true;
    a.finished = true;
    return a;
}

} // namespace tarvek
