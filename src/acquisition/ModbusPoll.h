#pragma once

#include "acquisition/ModbusExchange.h"
#include "acquisition/SerialPortService.h"

#include <QObject>
#include <QTimer>

namespace tarvek {

// What one Modbus RTU poll asks: the line, its framing and timing, and each
// channel's source (none: the channel is not read).
struct ModbusPollRequest {
    int serialLine = 0;
    ModbusTiming timing;
    ModbusSources sources;
};

// What it brought back: per channel k the reading text (see
// ModbusExchange::Readings), and whether any device answered.
struct ModbusPollResult {
    std::array<QString, ChannelCount> readings;
    bool answered = false;
};

// Polls the devices of a Modbus RTU line once: the rules of ModbusExchange
// carried out on a port, timed by one timer, as InstrumentPoll does for the
// instrument. Start() returns at once; Finished() follows from the event loop
// when every device has been asked. The port is closed on every way out.
// Each read's problem is said once on stderr (ModbusNotes).
class ModbusPoll : public QObject {
    Q_OBJECT
  public:
    explicit ModbusPoll(SerialPortService& port, QObject* parent = nullptr);

    // Begins a poll. Returns false, and does nothing, while one is running.
    bool Start(const ModbusPollRequest& request);
    bool IsRunning() const { return running_; }
    // Ends a running poll at once (program exit); Finished is not emitted.
    void Abort();

  signals:
    void Finished(const tarvek::ModbusPollResult& result);

  private:
    void OnBytesArrived();
    void Apply(const ModbusExchange::Actions& actions);
    void Conclude();

    SerialPortService& port_;
    QTimer timer_;
    ModbusExchange exchange_;
    ModbusNotes notes_;
    bool running_ = false;
    quint64 generation_ = 0; // tells a queued Finished of an aborted poll apart
};

} // namespace tarvek
