#include "seal/OwnFiles.h"

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

} // namespace tarvek
