#pragma once

#include "data/MonthFolder.h"
#include "seal/KeyStore.h"
#include "seal/SealStore.h"
#include "seal/Sealer.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarvek {

// tarvek-seal's work: the key and the seals taken up at start, then at every
// step what the month-folder followers of the data files and the event logs
// report, and the time, fed to the sealer, and its answers written. A file is
// read whole whenever its stamp (times included) changed, and again while its
// stamp is within its clock tick; one that cannot be opened by the rules of
// shared folders counts as removed. Any write that fails ends the service
// with its reason: it starts again from what the disk holds.
class SealService {
  public:
    struct Folders {
        QString data, seals, keys;
    };
    SealService(Folders folders, std::function<SealTime()> clock, Sealer::Rules rules = {});

    // Takes up the key and the seals, writes the Start line and seals what
    // the data folder holds. False with Error() set when it cannot.
    bool Start();
    bool Step();
    bool Stop();
    const QString& Error() const { return error_; }
    const Sealer* State() const { return sealer_.get(); }

  private:
    bool Apply(const SealTime& now);
    bool Follow(MonthFolderFollower& follower, MonthFileKind kind);

    Folders folders_;
    std::function<SealTime()> clock_;
    MonthFolderFollower data_, events_;
    Sealer::Rules rules_;
    SealStore store_;
    KeyStore keys_;
    std::unique_ptr<Sealer> sealer_;
    QString error_;
};

} // namespace tarvek
