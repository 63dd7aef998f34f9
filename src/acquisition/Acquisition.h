#pragma once

#include "acquisition/AcquisitionView.h"
#include "acquisition/InstrumentPoll.h"
#include "acquisition/ModbusPoll.h"
#include "acquisition/SerialPortService.h"
#include "alarm/AlarmMonitor.h"
#include "common/Declarations.h"
#include "config/InstrumentParameters.h"

#include <QObject>

namespace tarvek {

// Start, Stop and the clock tick's work while acquiring: a scan at each
// quarter-minute mark, then the stop path; shown through an AcquisitionView.
// The scan polls the instrument by its own protocol or the devices of a
// Modbus RTU line, as the instrument set-up in use says.
// One scan at a time: a tick during a scan only updates its clock panel, and
// the tick that started the scan finishes its own steps when the scan ends.
class Acquisition : public QObject {
    Q_OBJECT
  public:
    // `replyTimeoutMs`: the poll's reply time-out (tests shorten it).
    Acquisition(Declarations& state, AcquisitionView& view, SerialPortService& port,
                int replyTimeoutMs = ReplyTimeoutInterval, QObject* parent = nullptr);
    ~Acquisition() override;

    // Click handlers of Start (Command3) and Stop (Command4).
    void Start();
    void Stop();

    // The tick's work for one second while AcquisitionFlag is "1", with the
    // second's time text ("hh:mm:ss"); the scan is stamped with this second
    // and its storage decided from it.
    void ActiveSecond(const QString& timeText);

    bool ScanRunning() const { return scanRunning_; }

    // The alarms to feed: Start and Stop, and every scan after its store
    // (before the next poll). None until set.
    void WatchAlarms(AlarmMonitor* alarms) { alarms_ = alarms; }

    // A Load took a new set-up in use (its instrument set-up too; what of it
    // cannot be used is said on stderr, as at construction).
    void SetUpLoaded();

  signals:
    // After a scan has shown (and, when due, stored) its values.
    void ScanEnded();

  private:
    void RunScan();
    void FinishScan(const PollResult& result);
    void FinishModbusScan(const ModbusPollResult& result);
    void CompleteScan(double readingsPerUnit);
    void FinishStopIfRequested();
    void TakeInstrumentSetUp();
    bool PollRunning() const { return poll_.IsRunning() || modbus_.IsRunning(); }

    Declarations& state_;
    AcquisitionView& view_;
    SerialPortService& port_;
    InstrumentPoll poll_;
    ModbusPoll modbus_;
    InstrumentSetUp instrument_;
    AlarmMonitor* alarms_ = nullptr;
    bool scanRunning_ = false;
};

inline const QString InProgressText = QStringLiteral(" Acquisition in progress.. ");
inline const QString EndingText = QStringLiteral(" Acquisition in ending ");
inline const QString StandByText = QStringLiteral(" Acquisition in stand by ");
inline const QString WaitingText = QStringLiteral(" Waiting for acquisition ");

} // namespace tarvek
