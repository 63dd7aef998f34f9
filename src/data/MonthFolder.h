#pragma once

#include "common/SharedFile.h"
#include "data/MonthFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

struct stat;

namespace tarvek {

// Following the month files of a data folder (the data files or the event
// logs) as they change: when to list the folder again, and how each file
// changed since a reader last opened it. Every program that follows the
// folder does it with what is here; what the bytes mean, and where a reader
// stands in them, is the reader's own.

// What one look at a name shows without reading the file: its identity
// (device, inode), its length, its modification and change times; `exists`
// false when nothing is there. The change time counts: anyone who may write
// a file may set its modification time back, never its change time.
struct FileStamp {
    quint64 device = 0, inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool exists = false;
    qint64 ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
    bool SameFile(const FileStamp& o) const {
        return exists && o.exists && device == o.device && inode == o.inode;
    }
};
FileStamp StampOf(const struct stat& st);
// With LinkPolicy::Refuse the stamp of a link itself, never of what it names.
FileStamp StampOf(const QString& path, LinkPolicy links = LinkPolicy::Follow);

// A file system's clock may tick coarsely (a second on some): a change made
// within the tick of the stamp last seen leaves the stamp as it was. A stamp
// younger than this at the look is not trusted to tell the next change.
inline constexpr qint64 UntrustedStampNs = 1'000'000'000;
inline bool Trusted(const FileStamp& stamp, qint64 nowNs) {
    return nowNs - std::max(stamp.mtimeNs, stamp.ctimeNs) > UntrustedStampNs;
}

// How a file changed between two stamps of its name.
enum class FileChange {
    None,     // the same stamp
    Added,    // nothing there before (or never looked at)
    Grew,     // the same file, longer: records appended, maybe bytes changed as well
    Touched,  // the same file and length, written (or its times set) since: bytes changed in place
    Cut,      // the same file, shorter: its tail is gone
    Replaced, // another file under the name (another device or inode)
    Removed,  // nothing there now
};
FileChange ChangeOf(const FileStamp& before, const FileStamp& now);

// The folder as of its last listing: its stamp then, taken before the
// listing, and whether that stamp was old enough to tell a later change.
struct FolderSeen {
    FileStamp stamp;
    bool trusted = false;
};
// Whether the folder must be listed again, its stamp being `now`; when so,
// `seen` becomes `now`. An unchanged stamp that was not trusted is listed
// again: a file made within the folder's clock tick leaves it unchanged.
bool ListAgain(FolderSeen& seen, const FileStamp& now, qint64 nowNs);

// What the follower keeps of one file: its stamp as last opened (or tried),
// whether that stamp was trusted, and whether that open failed.
struct Followed {
    QString name;
    FileStamp opened;
    bool trusted = false, failed = false;
};

// One file at one follow step.
struct MonthLook {
    QString name;                         // "mm-yyyy-Data.txt" in a folder; the path itself for files given
    FileChange change = FileChange::None; // since it was last opened
    FileStamp before, now;                // as last opened; now, by its name (not followed)
    // Worth opening: changed since last opened, its last open failed, or it
    // was opened within its own clock tick.
    bool due = false;
};
// The look at `file`, whose name stamps `now`.
MonthLook LookAt(const Followed& file, const FileStamp& now);

// A file opened read-only by the rules of shared folders (a link unless
// followed, a FIFO, a device or a second hard link is refused, never waited
// on): its descriptor, closed with it, and its stamp by fstat; or why not.
class OpenedFile {
  public:
    static OpenedFile Open(const QString& path, LinkPolicy links);
    OpenedFile() = default;
    OpenedFile(OpenedFile&& o) noexcept;
    OpenedFile& operator=(OpenedFile&& o) noexcept;
    ~OpenedFile();

    explicit operator bool() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const FileStamp& Stamp() const { return stamp_; }
    // errno of the failure (ENOENT for a missing file), 0 when open.
    int Error() const { return error_; }
    // "is a symbolic link", "is not a regular file", strerror's text, ...
    const QString& Failure() const { return failure_; }
    // The bytes from `offset` to `offset + size`; nothing (and `reason`) when
    // they cannot be read, or the file is shorter now.
    std::optional<QByteArray> Read(qint64 offset, qint64 size, QString* reason) const;

  private:
    int fd_ = -1;
    int error_ = 0;
    FileStamp stamp_;
    QString failure_;
};

// Follows the month files of one kind in a data folder, or files given by
// path. A step lists the folder only when its stamp changed or was not
// trusted, then stamps every file followed by its name (a link's own stamp:
// never followed), in calendar order, and tells how each changed since it
// was last opened. Nothing is read or opened by a step: a reader opens the
// files it reads with Open, whose fstat stamp is then the one to compare
// with. A file a step finds gone is reported Removed once, then no longer
// followed (files given stay followed).
class MonthFolderFollower {
  public:
    // The month files of `kind` in `folder`, a shared folder: links refused.
    explicit MonthFolderFollower(QString folder, MonthFileKind kind = MonthFileKind::Data);
    // The files `paths`, in that order, never listed: files an operator
    // chose, opened by `links`.
    MonthFolderFollower(const QStringList& paths, LinkPolicy links);

    // Every file followed, listed again first when the folder changed.
    std::vector<MonthLook> Step();
    // Opens `name` (a name of the last step) read-only; its stamp now is
    // what the next step compares with, also when the open failed.
    OpenedFile Open(const QString& name);

    const QString& Folder() const { return folder_; }
    QString PathOf(const QString& name) const;
    // The files followed, as of the last step.
    QStringList Names() const;
    // What a reader watches for notifications: the files it `read` at its
    // last read, and the newest followed, where the logger appends next.
    QStringList Watched(const QStringList& read) const;

  private:
    QString folder_; // empty for files given
    MonthFileKind kind_ = MonthFileKind::Data;
    LinkPolicy links_ = LinkPolicy::Refuse;
    FolderSeen seen_;
    std::vector<Followed> files_;
};

} // namespace tarvek
