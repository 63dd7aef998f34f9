#include "seal/OwnFiles.h"

#include "common/SharedFile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

QString FailureText(const QString& path, const QString& what, int error) {
    return QStringLiteral("%1: %2 (%3)").arg(path, what, qt_error_string(error));
}

std::optional<QString> WriteFully(int fd, QByteArrayView bytes, const QString& path, qint64 offset) {
    for (qsizetype done = 0; done < bytes.size();) {
        const size_t left = size_t(bytes.size() - done);
        const ssize_t n = offset < 0 ? ::write(fd, bytes.data() + done, left)
                                     : ::pwrite(fd, bytes.data() + done, left, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FailureText(path, QStringLiteral("cannot write"));
        done += n;
    }
    return std::nullopt;
}

QByteArray WholeRecords(int fd, qint64 skip, int length) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= skip)
        return {};
    QByteArray records(qsizetype((st.st_size - skip) / length * length), Qt::Uninitialized);
    const qint64 n = ReadAt(fd, records.data(), records.size(), skip);
    records.truncate(qsizetype(std::max<qint64>(n, 0) / length * length));
    return records;
}

} // namespace tarvek
