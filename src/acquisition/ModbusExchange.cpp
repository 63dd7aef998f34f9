#include "acquisition/ModbusExchange.h"

#include <QStringList>

#include <charconv>
#include <cmath>

namespace tarvek {

namespace {

// More than any frame holds: a line that keeps talking past it is not
// waited on any longer.
constexpr int MaxFrameBytes = 256;

// Restart the time-out with `ms`, after dropping the waiting bytes when asked.
ModbusExchange::Actions Wait(int ms, bool discardWaiting = false) {
    ModbusExchange::Actions a;
    a.discardWaiting = discardWaiting;
    a.timeoutMs = ms;
    return a;
}

const QString NoReading = QStringLiteral("No Data");
// A reading without a valid value, as the instrument marks one: "=" third.
const QString InvalidReading = QStringLiteral("=======");

QString SourceText(const ModbusRead& read) {
    QStringList channels;
    for (const int k : read.channels)
        channels << QStringLiteral("Ch.%1").arg(k + 1);
    return QStringLiteral("Modbus device %1 (%2)").arg(read.address).arg(channels.join(QStringLiteral(", ")));
}

// The register's number as the elaboration reads it: integers whole, a
// float32 by its own shortest text (0.1 stays 0.1, not 0.100000001).
QString ReadingText(std::optional<double> value, RegisterType type) {
    if (!value)
        return InvalidReading;
    if (type != RegisterType::Float32)
        return QString::number(static_cast<qint64>(*value));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<float>(*value)).ptr;
    return QString::fromLatin1(text, end - text);
}

} // namespace

ModbusExchange::Actions ModbusExchange::Start(const ModbusSources& sources, const ModbusTiming& timing) {
    *this = ModbusExchange();
    sources_ = sources;
    timing_ = timing;
    reads_ = PlanReads(sources);
    readings_.fill(NoReading);
    if (reads_.empty())
        return Finish();
    return Silence(); // the line may still carry another master's or device's frame
}

ModbusExchange::Actions ModbusExchange::BytesReceived(QByteArrayView bytes) {
    if (phase_ == Phase::Silence) {
        // The line is not quiet yet; the request waits for it, though not for ever.
        dropped_ += static_cast<int>(bytes.size());
        return dropped_ <= MaxFrameBytes ? Wait(SilenceMs()) : Actions{};
    }
    if (phase_ != Phase::AwaitingReply || bytes.isEmpty())
        return {};
    received_ += bytes;
    for (;;) {
        const ReplyCheck check = CheckReply(received_, reads_[next_]);
        switch (check.status) {
        case ReplyCheck::Status::Incomplete:
            return Wait(timing_.replyTimeoutMs);
        case ReplyCheck::Status::Values:
            answered_ = true;
            TakeValues(check.registers);
            return EndRead({});
        case ReplyCheck::Status::Exception:
            answered_ = true;
            return EndRead(check.problem);
        case ReplyCheck::Status::Broken:
            if (check.from == 0 || !silent_.contains(check.from))
                return EndRead(check.problem);
            received_.remove(0, check.length); // a silent device's late reply
            break;
        }
    }
}

ModbusExchange::Actions ModbusExchange::TimedOut() {
    if (phase_ == Phase::Silence)
        return SendNext();
    if (phase_ != Phase::AwaitingReply)
        return {};
    if (!received_.isEmpty())
        return EndRead(QStringLiteral("a frame cut short after %1 bytes").arg(received_.size()));
    silent_.insert(reads_[next_].address);
    return EndRead(QStringLiteral("no reply within %1 ms").arg(timing_.replyTimeoutMs));
}

ModbusExchange::Actions ModbusExchange::PortFailed() {
    if (!IsRunning())
        return {};
    for (; next_ < reads_.size(); ++next_)
        outcomes_.push_back({SourceText(reads_[next_]), QStringLiteral("the serial line failed")});
    return Finish();
}

ModbusExchange::Actions ModbusExchange::Silence() {
    phase_ = Phase::Silence;
    dropped_ = 0;
    return Wait(SilenceMs(), true);
}

ModbusExchange::Actions ModbusExchange::SendNext() {
    // A device silent to one read is not asked again in this poll.
    for (; next_ < reads_.size() && silent_.contains(reads_[next_].address); ++next_)
        outcomes_.push_back(
            {SourceText(reads_[next_]), QStringLiteral("no reply within %1 ms").arg(timing_.replyTimeoutMs)});
    if (next_ == reads_.size())
        return Finish();
    phase_ = Phase::AwaitingReply;
    received_.clear();
    const QByteArray request = ReadRequest(reads_[next_]);
    const double onTheWire = WireMilliseconds(static_cast<int>(request.size()), timing_.line);
    Actions a = Wait(timing_.replyTimeoutMs + static_cast<int>(std::ceil(onTheWire)), true);
    a.write = request;
    return a;
}

ModbusExchange::Actions ModbusExchange::EndRead(const QString& problem) {
    outcomes_.push_back({SourceText(reads_[next_]), problem});
    ++next_;
    return next_ == reads_.size() ? Finish() : Silence();
}

ModbusExchange::Actions ModbusExchange::Finish() {
    phase_ = Phase::Finished;
    Actions a;
    a.closePort = true;
    a.finished = true;
    return a;
}

void ModbusExchange::TakeValues(const QList<quint16>& registers) {
    const ModbusRead& read = reads_[next_];
    for (const int k : read.channels) {
        const ModbusSource& s = *sources_[k];
        readings_[k] = ReadingText(RegisterValue(registers, s.reg - read.first, s.type, s.order), s.type);
    }
}

int ModbusExchange::SilenceMs() const {
    return static_cast<int>(std::ceil(std::max(timing_.silenceMs, FrameSilenceMilliseconds(timing_.line))));
}

QStringList ModbusNotes::Follow(const std::vector<ModbusExchange::Outcome>& outcomes) {
    QStringList notes;
    for (const auto& [source, problem] : outcomes) {
        const auto said = said_.find(source);
        if (problem.isEmpty() && said != said_.end()) {
            notes << QStringLiteral("%1 gives values again").arg(source);
            said_.erase(said);
        } else if (!problem.isEmpty() && (said == said_.end() || said->second != problem)) {
            notes << QStringLiteral("%1: %2; its channels read No Data").arg(source, problem);
            said_[source] = problem;
        }
    }
    return notes;
}

} // namespace tarvek
