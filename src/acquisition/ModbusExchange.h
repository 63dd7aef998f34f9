#pragma once

#include "acquisition/ModbusFrames.h"
#include "acquisition/PortActions.h"

#include <map>
#include <set>

namespace tarvek {

// How a Modbus RTU poll keeps time: the reply time-out counts from the end
// of the request on the wire and again from each byte of the reply; the
// silence goes before every request and after every reply.
struct ModbusTiming {
    LineSettings line;
    int replyTimeoutMs = 1000;
    double silenceMs = 0; // never less than FrameSilenceMilliseconds(line)
};

// One poll of a Modbus RTU line as rules only (no port, timer or clock), like
// InstrumentExchange: the driver feeds it bytes and time-outs and carries out
// the returned Actions in field order. Every device is asked in turn, by the
// fewest reads; a read that fails leaves its channels "No Data" and the next
// read is still made. A device that is silent is not asked again in this
// poll, and a late reply of its arriving meanwhile is dropped, not taken for
// another device's.
class ModbusExchange {
  public:
    using Actions = PortActions; // finished: Readings()/Answered()/Outcomes() are final
    // What became of one read: the device and the channels it serves
    // ("Modbus device 7 (Ch.3, Ch.4)"), and why it gave no values (empty: it did).
    struct Outcome {
        QString source;
        QString problem;
    };

    Actions Start(const ModbusSources& sources, const ModbusTiming& timing);
    Actions BytesReceived(QByteArrayView bytes);
    Actions TimedOut();
    Actions PortFailed();

    bool IsRunning() const { return phase_ == Phase::Silence || phase_ == Phase::AwaitingReply; }
    // Per channel k: "No Data", "=======" (a float32 that is no number) or the
    // register's number as text.
    const std::array<QString, ChannelCount>& Readings() const { return readings_; }
    // Whether any device answered (with values or an exception).
    bool Answered() const { return answered_; }
    const std::vector<Outcome>& Outcomes() const { return outcomes_; }

  private:
    enum class Phase { Idle, Silence, AwaitingReply, Finished };

    Actions Silence();
    Actions SendNext();
    Actions EndRead(const QString& problem);
    Actions Finish();
    void TakeValues(const QList<quint16>& registers);
    int SilenceMs() const;

    Phase phase_ = Phase::Idle;
    ModbusSources sources_;
    ModbusTiming timing_;
    std::vector<ModbusRead> reads_;
    std::size_t next_ = 0; // the read being made, or the next one
    QByteArray received_;
    int dropped_ = 0; // bytes received while keeping silence
    std::set<int> silent_;
    std::array<QString, ChannelCount> readings_;
    bool answered_ = false;
    std::vector<Outcome> outcomes_;
};

// Says each read's problem once: when it first appears or changes, and that
// the read gives values again once it does.
class ModbusNotes {
  public:
    QStringList Follow(const std::vector<ModbusExchange::Outcome>& outcomes);

  private:
    std::map<QString, QString> said_; // source -> the problem last said
};

} // namespace tarvek
