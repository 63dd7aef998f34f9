#include "common/RecordFile.h"

#include "common/ReplaceFile.h"
#include "common/SharedFile.h"
#include "common/TextHelpers.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace tarvek {

// SyncFolder, its failure as an outcome naming the folder.
FileOutcome SyncedFolder(const QString& folder) {
    if (const int error = SyncFolder(folder); error != 0)
        return FileOutcome::Failure(QStringLiteral("%1: cannot sync folder (%2)")
                                        .arg(QDir::toNativeSeparators(folder), qt_error_string(error)));
    return {};
}

FileOutcome RecordFile::Fail(const QString& what, const QString& reason) const {
    return FileOutcome::Failure(
        QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(path_), what, reason));
}

QByteArray RecordFile::BlankRecord() const {
    QByteArray record(length_, ' ');
    const QByteArray terminator = RecordTerminator.toLatin1();
    if (length_ >= terminator.size())
        record.replace(length_ - terminator.size(), terminator.size(), terminator);
    return record;
}

FileOutcome RecordFile::Open(const QString& path, Access access) {
    Close();
    path_ = path;
    // The file may sit in a folder other users write: a planted link, FIFO or
    // second hard link is refused, never followed or written through. A
    // missing file is created, with group write whatever the umask.
    SharedFile shared = OpenSharedFile(path, SharedAccess::CreateWrite);
    QIODevice::OpenMode mode = QIODevice::ReadWrite;
    if (!shared && access == Access::Read) {
        // A file the operator may read but not write (write-protected, set up
        // by an administrator, on a read-only share) is still read, rather
        // than replaced by the fall-backs.
        if (SharedFile readable = OpenSharedFile(path, SharedAccess::Read)) {
            shared = readable;
            mode = QIODevice::ReadOnly;
        }
    }
    if (!shared)
        return Fail(QStringLiteral("cannot open"), shared.reason);
    // Unbuffered: every write reaches the operating system at once, so a
    // failed one can be cut back; a write buffer would still hold the bytes
    // that did not fit and push them out again on the next flush or close.
    if (!file_.open(shared.fd, mode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(shared.fd);
        return Fail(QStringLiteral("cannot open"));
    }
    if (shared.created) {
        if (FileOutcome synced = SyncedFolder(QFileInfo(path).absolutePath()); !synced) {
            Close();
            return synced;
        }
    }
    return {};
}

void RecordFile::Close() {
    if (file_.isOpen())
        file_.close();
}

QString RecordFile::Read(qint64 record, FileOutcome* error) {
    QByteArray bytes;
    const qint64 offset = qint64(length_) * (record - 1);
    if (record >= 1 && file_.isOpen() && offset < file_.size()) {
        if (!file_.seek(offset)) {
            if (error)
                *error = Fail(QStringLiteral("cannot seek to record %1").arg(record));
        } else {
            bytes = file_.read(length_);
            if (bytes.isEmpty() && error)
                *error = Fail(QStringLiteral("cannot read record %1").arg(record));
        }
    }
    if (bytes.size() < length_)
        bytes.append(QByteArray(length_ - bytes.size(), ' '));
    return QString::fromLatin1(bytes);
}

FileOutcome RecordFile::Write(qint64 record, const QString& text) {
    if (!file_.isOpen())
        return FileOutcome::Failure(QStringLiteral("%1: not open").arg(path_));
    if (record < 1)
        return FileOutcome::Failure(QStringLiteral("%1: no record %2").arg(path_).arg(record));

    // Fill the gap between the end of the file and the record with blank
    // records, completing a short last record first.
    QByteArray bytes;
    const qint64 offset = qint64(length_) * (record - 1);
    qint64 start = offset;
    const qint64 size = file_.size();
    if (size < offset) {
        start = size;
        const qint64 partial = size % length_;
        if (partial != 0) {
            const QByteArray blank = BlankRecord();
            bytes.append(blank.mid(partial));
        }
        const qint64 whole = (offset - start - bytes.size()) / length_;
        for (qint64 i = 0; i < whole; ++i)
            bytes.append(BlankRecord());
    }
    QByteArray recordBytes = FixedText(text, length_).toLatin1(); // unmappable characters become "?"
    bytes.append(recordBytes);

    if (!file_.seek(start))
        return Fail(QStringLiteral("cannot seek to record %1").arg(record));
    if (!WriteAll(file_, bytes) || !file_.flush()) {
        const FileOutcome failure = Fail(QStringLiteral("cannot write record %1").arg(record));
        // Never leave part of a record behind. A write that went past the end
        // of the file is cut back: to the old end, or to the start of the
        // record when it was replacing a short last record.
        if (start + bytes.size() > size)
            file_.resize(qMin(start, size));
        return failure;
    }
    return {};
}

FileOutcome RecordFile::CompleteLastRecord() {
    if (!file_.isOpen())
        return FileOutcome::Failure(QStringLiteral("%1: not open").arg(path_));
    const qint64 size = file_.size();
    const qint64 partial = size % length_;
    if (partial == 0)
        return {};
    const QByteArray filler = BlankRecord().mid(partial);
    if (!file_.seek(size))
        return Fail(QStringLiteral("cannot seek to the end"));
    if (!WriteAll(file_, filler)) {
        const FileOutcome failure = Fail(QStringLiteral("cannot complete record %1").arg(size / length_ + 1));
        file_.resize(size);
        return failure;
    }
    return {};
}

FileOutcome RecordFile::Sync() {
    if (!file_.isOpen())
        return FileOutcome::Failure(QStringLiteral("%1: not open").arg(path_));
    if (::fdatasync(file_.handle()) != 0)
        return Fail(QStringLiteral("cannot sync"), qt_error_string(errno));
    return {};
}

const FileOutcome& ReportFailure(const FileOutcome& outcome) {
    if (!outcome.ok)
        std::fprintf(stderr, "tarvek: %s\n", qPrintable(outcome.message));
    return outcome;
}

FileOutcome EnsureFolder(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir())
        return {};
    if (info.exists())
        return FileOutcome::Failure(
            QStringLiteral("%1: exists and is not a folder").arg(QDir::toNativeSeparators(path)));
    if (!QDir().mkpath(path))
        return FileOutcome::Failure(
            QStringLiteral("%1: cannot create folder").arg(QDir::toNativeSeparators(path)));
    return SyncedFolder(info.absolutePath());
}

bool WriteAll(QIODevice& device, const QByteArray& bytes) {
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace tarvek
