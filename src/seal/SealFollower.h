#pragma once

#include "seal/Sealer.h"

#include <QString>

#include <map>
#include <vector>

namespace tarvek {

// What the sealer needs of the data folder: the month files (data and event
// logs) whose stamp changed since the last look, each with its records now.
class SealFollower {
  public:
    virtual ~SealFollower() = default;
    // Every month file at the first call; then those appended to, changed,
    // cut, replaced or removed.
    virtual std::vector<MonthFileNews> Look() = 0;
};

// The shared month-folder follower of data/ plugs in here, in place of this
// minimal one: it lists the folder when its stamp changed (and every minute),
// and reads a file whose stamp (size, times, inode) changed. The change time
// counts too: an operator may set a file's modification time back, never its
// change time. A file that is no regular file with one link counts as removed;
// one changed less than a second ago is read again at the next look.
class StampFollower final : public SealFollower {
  public:
    explicit StampFollower(QString folder) : folder_(std::move(folder)) {}
    std::vector<MonthFileNews> Look() override;

    // What lstat says of a name; exists false when nothing is there.
    struct Stamp {
        quint64 device = 0, inode = 0;
        qint64 size = -1, mtimeNs = 0, ctimeNs = 0;
        bool exists = false;
        bool operator==(const Stamp&) const = default;
    };

  private:
    QString folder_;
    Stamp folderStamp_;
    int looks_ = 0;
    std::map<std::pair<MonthFileKind, int>, Stamp> files_;
};

} // namespace tarvek
