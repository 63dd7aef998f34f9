#include "data/FileStamp.h"

#include <QFile>

#include <sys/stat.h>

namespace tarvek {

FileStamp StampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return StampOf(st);
}

FileStamp StampOf(const struct stat& st) {
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            quint64(st.st_ino), true};
}

} // namespace tarvek
