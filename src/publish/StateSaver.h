#pragma once

#include "publish/ChangeLog.h"
#include "publish/StateFile.h"

#include <QElapsedTimer>
#include <QTimer>

namespace tarvek {

// The state file kept as the broker acknowledges: synced at most once a
// second, at once after `SaveEvery` records or events (a back-fill saves
// its progress often, so a kill repeats little of it), and at the end. A
// state that cannot be saved is said, and tried again at the next change.
class StateSaver {
  public:
    static constexpr int SaveEvery = 2000;
    StateSaver(QString path, ChangeLog& log);

    PublishState& State() { return state_; }
    // `moved` more records or events were acknowledged (none: something
    // else of the state changed).
    void Moved(int moved = 0);
    // Saves what is not saved yet; false when that failed (said).
    bool SaveNow();
    // Saves whatever was saved before; false when that failed (said).
    bool Save();

  private:
    QString path_;
    ChangeLog& log_;
    PublishState state_;
    bool unsaved_ = false;
    int movedSinceSave_ = 0;
    QTimer soon_;
    QElapsedTimer sinceSave_;
};

} // namespace tarvek
