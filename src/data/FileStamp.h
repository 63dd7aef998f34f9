#pragma once

#include <QString>

struct stat;

namespace tarvek {

// What a follow step compares to see whether a file (a month's data file or
// event log, or their folder) changed: its size, its modification time (ns)
// and its inode; `exists` false when it cannot be examined.
struct FileStamp {
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    bool exists = false;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const QString& path);
FileStamp StampOf(const struct stat& st);

} // namespace tarvek
