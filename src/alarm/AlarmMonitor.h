#pragma once

#include "alarm/AlarmMachine.h"
#include "alarm/SetUpAudit.h"
#include "common/Clock.h"
#include "common/Declarations.h"

#include <optional>
#include <vector>

namespace tarvek {

// Tells an operator of a raised alarm (the desktop's notifications). It must
// return at once, whatever the receiver does.
class AlarmNotifier {
  public:
    virtual ~AlarmNotifier() = default;
    virtual void Notify(const AlarmNotice& notice) = 0;
};

// The logger's alarms: the machine fed from the shared state, its events
// written to the month's event log, a notice for each raised alarm. Every
// record of one call goes out in one write, synced before the call returns,
// so a scan's events are on the disk before the next poll. Events that could
// not be written are reported on stderr and written with the next ones.
class AlarmMonitor {
  public:
    AlarmMonitor(const Declarations& state, const WallClock& clock, AlarmNotifier* notifier = nullptr);

    // Once the set-up is read at start: the alarms standing in the logs,
    // PROGRAM STARTED, and the set-up taken in use.
    void ProgramStarted();
    // After a Load took a new set-up in use (the alarm set-up is read again).
    void SetUpLoaded();
    void AcquisitionStarted();
    void AcquisitionStopped();
    // After a scan's readings were elaborated and, when due, stored.
    void ScanEnded(const std::optional<FileOutcome>& store);

    const AlarmMachine& Machine() const { return machine_; }

  private:
    void UseSetUp();
    void Record(std::vector<Event> events);
    Event Now(const QString& kind, const QString& name) const;

    const Declarations& state_;
    const WallClock& clock_;
    AlarmNotifier* notifier_;
    QString user_;
    AlarmMachine machine_;
    SetUpTrail trail_;
    std::vector<Event> unwritten_;
};

} // namespace tarvek
