#include "acquisition/InstrumentPoll.h"

namespace tarvek {

InstrumentPoll::InstrumentPoll(SerialPortService& port, int replyTimeoutMs, QObject* parent)
    : ExchangePoll(port, parent), replyTimeoutMs_(replyTimeoutMs) {
    timer_.setObjectName(QStringLiteral("TimerTimeoutCom"));
    timer_.setInterval(replyTimeoutMs);
}

bool InstrumentPoll::Start(const PollRequest& request) {
    if (!Begin(request.serialLine))
        return false;
    exchange_ = InstrumentExchange(replyTimeoutMs_);
    if (!port_.Open()) {
        Conclude(); // failed, as after a time-out; Finished follows from the event loop
        return true;
    }
    Carry(exchange_.Start(request.selectCode, request.command, request.replyExpected));
    return true;
}

void InstrumentPoll::Conclude() {
    const PollResult result{QString::fromLatin1(exchange_.ReplyText()), exchange_.ReplyComplete()};
    End([this, result] { emit Finished(result); });
}

} // namespace tarvek
