#pragma once

#include "acquisition/InstrumentPoll.h"
#include "acquisition/SerialPortService.h"
#include "app/Declarations.h"
#include "common/Clock.h"

#include <QObject>

class MDIForm1;

// Starting and stopping acquisition, and the work of the clock tick while it
// is active: a scan at each quarter-minute mark, then the stop path.
//
// One scan at a time: a second that arrives while a scan is running gets only
// its clock panel (the tick has already written it); it starts no scan and
// does not run the stop path. The second that started the scan completes its
// own steps (" Waiting for acquisition ", the stop path) when the scan ends.
// A quarter-minute mark that passes during a scan gets no scan of its own.
class Acquisition : public QObject {
    Q_OBJECT
  public:
    Acquisition(Declarations& d, MDIForm1& window, SerialPortService& port, const WallClock& clock,
                QObject* parent = nullptr);
    ~Acquisition() override;

    // Click handlers of Start (Command3) and Stop (Command4).
    void Start();
    void Stop();

    // The tick's work for one second while AcquisitionFlag is "1".
    void ActiveSecond(const QString& timeText);

    bool ScanRunning() const { return scanRunning_; }
    InstrumentPoll& Poll() { return poll_; }

  signals:
    // After a scan has shown (and, when due, stored) its values.
    void ScanEnded();

  private:
    void RunScan();
    void FinishScan();
    void StopPath();

    Declarations& d_;
    MDIForm1& window_;
    SerialPortService& port_;
    const WallClock& clock_;
    InstrumentPoll poll_;
    bool scanRunning_ = false;
};

inline const QString InProgressText = QStringLiteral(" Acquisition in progress.. ");
inline const QString EndingText = QStringLiteral(" Acquisition in ending ");
