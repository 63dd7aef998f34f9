#include "viewer/ExportFile.h"

#include "common/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

// Passes each write on whole to `file`, a short one (a full disk) retried
// for the rest, so that no write ends short without an error, and remembers
// a failure: a writer that does not check its writes cannot hide one.
class WholeWrites : public QIODevice {
  public:
    explicit WholeWrites(QFile& file) : file_(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    bool Failed() const { return failed_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (failed_ || !WriteAll(file_, QByteArray::fromRawData(data, size))) {
            failed_ = true;
            setErrorString(file_.errorString());
            return -1;
        }
        return size;
    }

  private:
    QFile& file_;
    bool failed_ = false;
};

// Runs `write` into `file`; the reason of a failure, or nothing.
std::optional<QString> WriteThrough(QFile& file, const std::function<bool(QIODevice&)>& write) {
    WholeWrites out(file);
    const bool written = write(out);
    if (out.Failed() || file.error() != QFileDevice::NoError)
        return file.errorString();
    if (!written)
        return QStringLiteral("not written whole");
    return std::nullopt;
}

} // namespace

ExportFormat ExportFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"png" ? ExportFormat::Png : suffix == u"pdf" ? ExportFormat::Pdf : ExportFormat::Csv;
}

bool WriteExport(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error) {
    const auto fail = [&](const QString& what, const QString& reason) {
        *error = QStringLiteral("%1: %2 (%3)")
                     .arg(path == u"-" ? QStringLiteral("standard output") : QDir::toNativeSeparators(path),
                          what, reason);
        return false;
    };
    const QString cannotWrite = QStringLiteral("cannot write");
    const QByteArray name = QFile::encodeName(path);
    struct stat target {};
    const bool exists = path != u"-" && ::lstat(name.constData(), &target) == 0;
    if (exists && S_ISLNK(target.st_mode))
        return fail(cannotWrite, QStringLiteral("is a symbolic link; its target is never written"));
    if (path == u"-" || (exists && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode))) {
        QFile out(path);
        const bool open = path == u"-" ? out.open(stdout, QIODevice::WriteOnly)
                                       : out.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!open)
            return fail(cannotWrite, out.errorString());
        if (const auto failure = WriteThrough(out, write))
            return fail(cannotWrite, *failure);
        if (!out.flush())
            return fail(cannotWrite, out.errorString());
        return true;
    }
    if (exists && S_ISDIR(target.st_mode))
        return fail(cannotWrite, qt_error_string(EISDIR));

    // A new name beside `path`, made exclusively: O_EXCL never follows a link.
    const QFileInfo info(path);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = QFile::encodeName(
            info.dir().filePath(QStringLiteral(".%1.%2")
                                    .arg(info.fileName())
                                    .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(cannotWrite, qt_error_string(errno));
    const auto discard = [&](const QString& what, const QString& reason) {
        ::unlink(temporary.constData());
        return fail(what, reason);
    };
    if (exists && ::fchmod(fd, target.st_mode & 07777) != 0) {
        const int e = errno;
        ::close(fd);
        return discard(cannotWrite, qt_error_string(e));
    }
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return discard(cannotWrite, out.errorString());
    }
    if (const auto failure = WriteThrough(out, write))
        return discard(cannotWrite, *failure);
    if (::fsync(fd) != 0)
        return discard(cannotWrite, qt_error_string(errno));
    out.close();
    // rename() replaces the name itself, whatever was put there meanwhile.
    if (::rename(temporary.constData(), name.constData()) != 0)
        return discard(QStringLiteral("cannot put in place"), qt_error_string(errno));
    return true;
}

bool WriteExportAs(const QString& path, const ExportWriters& writers, QString* error) {
    const ExportFormat format = ExportFormatOf(path);
    const auto& write = format == ExportFormat::Png   ? writers.png
                        : format == ExportFormat::Pdf ? writers.pdf
                                                      : writers.csv;
    return WriteExport(path, write, error);
}

} // namespace tarvek
