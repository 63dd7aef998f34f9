#include "data/EventLog.h"

#include "data/MonthFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <pwd.h>
#include <unistd.h>

namespace tarvek {

EventBytes ParseEventBytes(QByteArrayView bytes, qint64 firstRecord) {
    EventBytes read;
    read.events.reserve(std::size_t(bytes.size() / EventRecordLength + 1));
    for (qsizetype at = 0; at < bytes.size(); at += EventRecordLength) {
        std::optional<Event> event = ParseEventRecord(
            bytes.sliced(at).first(std::min<qsizetype>(EventRecordLength, bytes.size() - at)));
        if (!event) {
            ++read.skipped;
            continue;
        }
        // A field as the record before spells it shares its text: a month's
        // log repeats its dates, values and comments thousands of times.
        if (!read.events.empty()) {
            const Event& before = read.events.back().event;
            for (const auto field : {&Event::date, &Event::value, &Event::limit, &Event::user, &Event::text})
                if ((*event).*field == before.*field)
                    (*event).*field = before.*field;
        }
        read.events.push_back({firstRecord + at / EventRecordLength, std::move(*event)});
    }
    return read;
}

EventFileRead ReadEventFile(const QString& path, LinkPolicy links, qint64 fromRecord) {
    EventFileRead read;
    const SharedFile shared = OpenSharedFile(path, SharedAccess::Read, links);
    if (!shared) {
        read.missing = shared.error == ENOENT;
        if (!read.missing)
            read.problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), shared.reason);
        return read;
    }
    QFile file;
    file.open(shared.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray bytes = file.seek(fromRecord * EventRecordLength) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError)
        read.problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    static_cast<EventBytes&>(read) = ParseEventBytes(bytes, fromRecord + 1);
    read.bytes = bytes.size();
    return read;
}

QStringList EventFilesIn(const QString& folder) {
    return ListMonthFiles(folder, MonthFileKind::Events);
}

namespace {

FileOutcome Failed(const QString& path, const QString& what, const QString& reason) {
    return FileOutcome::Failure(
        QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(path), what, reason));
}

// The blanks and "*" CR LF that complete a torn last record of `size` bytes.
QByteArray Completion(qint64 size) {
    const qint64 torn = size % EventRecordLength;
    if (torn == 0)
        return {};
    QByteArray filler(EventRecordLength, ' ');
    filler.replace(EventRecordLength - 3, 3, "*\r\n");
    return filler.mid(torn);
}

} // namespace

FileOutcome AppendEvents(const QString& path, const std::vector<Event>& events) {
    if (events.empty())
        return {};
    const SharedFile shared = OpenSharedFile(path, SharedAccess::CreateAppend);
    if (!shared)
        return Failed(path, QStringLiteral("cannot open"), shared.reason);
    QFile file; // unbuffered: each write goes to the descriptor, appending
    if (!file.open(shared.fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(shared.fd);
        return Failed(path, QStringLiteral("cannot open"), file.errorString());
    }
    QByteArray bytes = Completion(file.size());
    for (const Event& event : events)
        bytes += BuildEventRecord(event).toLatin1();
    if (!WriteAll(file, bytes))
        return Failed(path, QStringLiteral("cannot write events"), file.errorString());
    if (::fsync(file.handle()) != 0)
        return Failed(path, QStringLiteral("cannot sync"), qt_error_string(errno));
    file.close();
    if (shared.created)
        return SyncedFolder(QFileInfo(path).absolutePath());
    return {};
}

QString RealUserName() {
    if (const passwd* entry = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::getuid());
}

} // namespace tarvek
