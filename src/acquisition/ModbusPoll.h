#pragma once

#include "acquisition/ModbusExchange.h"
#include "acquisition/PortPoll.h"

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
// carried out on a port, as InstrumentPoll does for the instrument. Start()
// returns at once; Finished() follows when every device has been asked (see
// PortPoll). Each read's problem is said once on stderr (ModbusNotes).
class ModbusPoll : public ExchangePoll<ModbusExchange> {
    Q_OBJECT
  public:
    explicit ModbusPoll(SerialPortService& port, QObject* parent = nullptr) : ExchangePoll(port, parent) {}

    // Begins a poll. Returns false, and does nothing, while one is running.
    bool Start(const ModbusPollRequest& request);

  signals:
    void Finished(const tarvek::ModbusPollResult& result);

  private:
    void Conclude() override;

    ModbusNotes notes_;
};

} // namespace tarvek
