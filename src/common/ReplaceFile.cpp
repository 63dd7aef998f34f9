#include "common/ReplaceFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

int SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    return synced ? 0 : error;
}

std::optional<ReplaceFailure> ReplaceFile(const QString& path, const ReplaceOptions& options,
                                          const std::function<std::optional<QString>(QFile&)>& write) {
    using Step = ReplaceFailure::Step;
    const QFileInfo info(path);
    const auto create = [&](const QByteArray& name) {
        return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      options.createMode);
    };
    QByteArray temporary;
    int fd = -1;
    if (!options.temporary.isEmpty()) {
        temporary = QFile::encodeName(options.temporary);
        ::unlink(temporary.constData());
        fd = create(temporary);
    }
    for (int attempt = 0; options.temporary.isEmpty() && fd < 0 && attempt < 100; ++attempt) {
        temporary = QFile::encodeName(
            info.dir().filePath(QStringLiteral(".%1.%2")
                                    .arg(info.fileName())
                                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        fd = create(temporary);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return ReplaceFailure{Step::Create, QFile::decodeName(temporary), errno, qt_error_string(errno)};
    const auto fail = [&](Step step, int error, const QString& reason) {
        ::unlink(temporary.constData());
        return ReplaceFailure{step, path, error, reason};
    };
    if (options.mode && ::fchmod(fd, *options.mode) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(Step::Write, error, qt_error_string(error));
    }
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(Step::Write, 0, out.errorString());
    }
    if (const std::optional<QString> failure = write(out))
        return fail(Step::Write, 0, *failure);
    if (::fsync(fd) != 0)
        return fail(Step::Write, errno, qt_error_string(errno));
    out.close();
    const QByteArray name = QFile::encodeName(path);
    if (options.publish == ReplaceOptions::Publish::Rename) {
        // rename() replaces the name itself, whatever was put there meanwhile.
        if (::rename(temporary.constData(), name.constData()) != 0)
            return fail(Step::Publish, errno, qt_error_string(errno));
    } else {
        if (::link(temporary.constData(), name.constData()) != 0 && errno != EEXIST)
            return fail(Step::Publish, errno, qt_error_string(errno));
        ::unlink(temporary.constData());
    }
    if (const int error = SyncFolder(info.absolutePath()); error != 0)
        return ReplaceFailure{Step::SyncFolder, path, error, qt_error_string(error)};
    return std::nullopt;
}

} // namespace tarvek
