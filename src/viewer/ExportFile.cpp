#include "viewer/ExportFile.h"

#include "common/RecordFile.h"
#include "common/ReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Opens the pipe or device `name` that lstat saw as `seen` into `out`, by the
// name again but never following a link, never creating or truncating, never
// waiting for a reader, and only if it is still the one seen: the name may
// have been swapped in between (in a folder others can write). The reason
// when it cannot, or nothing.
std::optional<QString> OpenSeen(const QByteArray& name, const struct stat& seen, QFile& out) {
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENXIO ? QStringLiteral("a pipe nobody reads") : qt_error_string(errno);
    struct stat now {};
    std::optional<QString> reason;
    if (::fstat(fd, &now) != 0)
        reason = qt_error_string(errno);
    else if (now.st_dev != seen.st_dev || now.st_ino != seen.st_ino || S_ISREG(now.st_mode))
        reason = QStringLiteral("was replaced while being opened");
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        reason = qt_error_string(errno);
    else if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        reason = out.errorString();
    else
        return std::nullopt;
    ::close(fd);
    return reason;
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
        QFile out;
        if (path == u"-") {
            if (!out.open(stdout, QIODevice::WriteOnly))
                return fail(cannotWrite, out.errorString());
        } else if (const auto reason = OpenSeen(name, target, out)) {
            return fail(cannotWrite, *reason);
        }
        if (const auto failure = WriteThrough(out, write))
            return fail(cannotWrite, *failure);
        if (!out.flush())
            return fail(cannotWrite, out.errorString());
        return true;
    }
    if (exists && S_ISDIR(target.st_mode))
        return fail(cannotWrite, qt_error_string(EISDIR));

    ReplaceOptions options;
    // The mode of a file someone else put there is never taken over (a
    // planted set-id or world-writable file): a new one is made as the umask
    // says.
    if (exists && target.st_uid == ::geteuid())
        options.mode = target.st_mode & 07777;
    const auto failure = ReplaceFile(path, options, [&](QFile& out) { return WriteThrough(out, write); });
    if (!failure)
        return true;
    const bool placing =
        failure->step == ReplaceFailure::Step::Publish || failure->step == ReplaceFailure::Step::SyncFolder;
    return fail(placing ? QStringLiteral("cannot put in place") : cannotWrite, failure->reason);
}

bool WriteExportAs(const QString& path, const ExportWriters& writers, QString* error) {
    const ExportFormat format = ExportFormatOf(path);
    const auto& write = format == ExportFormat::Png   ? writers.png
                        : format == ExportFormat::Pdf ? writers.pdf
                                                      : writers.csv;
    return WriteExport(path, write, error);
}

} // namespace tarvek
