#pragma once

#include "acquisition/AcquisitionView.h"
#include "acquisition/InstrumentPoll.h"
#include "acquisition/SerialPortService.h"
#include "common/Declarations.h"

#include <QObject>

namespace tarvek {

// Starting and stopping acquisition, and the work of the clock tick while it
// is active: a scan at each quarter-minute mark, then the stop path. What it
// shows goes to an AcquisitionView; it knows no window.
//
// One scan at a time: a second that arrives while a scan is running gets only
// its clock panel (the tick has already written it); it starts no scan and
// does not run the stop path. The second that started the scan completes its
// own steps (" Waiting for acquisition ", the stop path) when the scan ends.
// A quarter-minute mark that passes during a scan gets no scan of its own.
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

  signals:
    // After a scan has shown (and, when due, stored) its values.
    void ScanEnded();

  private:
    void RunScan();
    void FinishScan(const PollResult& result);
    void FinishStopIfRequested();

    Declarations& state_;
    AcquisitionView& view_;
    SerialPortService& port_;
    InstrumentPoll poll_;
    bool scanRunning_ = false;
};

inline const QString InProgressText = QStringLiteral(" Acquisition in progress.. ");
inline const QString EndingText = QStringLiteral(" Acquisition in ending ");
inline const QString StandByText = QStringLiteral(" Acquisition in stand by ");
inline const QString WaitingText = QStringLiteral(" Waiting for acquisition ");

} // namespace tarvek
