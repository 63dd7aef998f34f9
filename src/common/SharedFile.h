#pragma once

#include <QString>

namespace tarvek {

// Opening a name in a folder that other users may write (settingfiles/,
// datafiles/): whatever sits there may have been planted. A symbolic link, a
// FIFO, a device or a second hard link in place of a file is refused with the
// reason, never followed, blocked on or written through.

// What the caller means to do with the file.
enum class SharedAccess {
    Read,         // read-only
    CreateWrite,  // read-write; a missing file is created (mode 0664)
    CreateAppend, // as CreateWrite, every write going to the end (O_APPEND)
};

// Whether the name itself may be a symbolic link. Readers of files the
// operator chose (a month file given to the viewer) may follow one; the
// logger and everything root runs never do.
enum class LinkPolicy { Refuse, Follow };

// An open descriptor, or the reason there is none.
struct SharedFile {
    int fd = -1;          // owned by the caller when >= 0
    bool created = false; // the file did not exist and was made by this open
    int error = 0;        // errno of the failure (ELOOP, EISDIR, ...), 0 on success
    QString reason;       // "is a symbolic link", "is not a regular file", strerror text, ...

    explicit operator bool() const { return fd >= 0; }
};

// Opens `path` with O_NONBLOCK and O_CLOEXEC (and O_NOFOLLOW unless links are
// followed), then checks with fstat that it is a regular file, and with
// LinkPolicy::Refuse that it has one link. A file is created only with
// O_CREAT|O_EXCL|O_NOFOLLOW and then given mode 0664 through its descriptor,
// so group write does not depend on the process umask. The descriptor is
// switched back to blocking before it is returned.
SharedFile OpenSharedFile(const QString& path, SharedAccess access, LinkPolicy links = LinkPolicy::Refuse);

// Reads `size` bytes at `offset` of `fd` into `out`, or fewer where the file
// ends; a read interrupted by a signal goes on. The bytes read, or -1 with
// errno set.
qint64 ReadAt(int fd, char* out, qint64 size, qint64 offset);

} // namespace tarvek
