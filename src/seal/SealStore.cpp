#include "seal/SealStore.h"

#include "common/RecordFile.h"
#include "common/SharedFile.h"
#include "data/DataRecord.h"
#include "seal/OwnFiles.h"
#include "seal/SealChain.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::optional<QString> SealStore::Open() {
    if (::mkdir(QFile::encodeName(folder_).constData(), 0755) != 0 && errno != EEXIST)
        return FailureText(folder_, QStringLiteral("cannot make the seals folder"));
    return std::nullopt;
}

QByteArray SealStore::SealedRecords(MonthFileKind kind, int month) const {
    const int fd = ::open(QFile::encodeName(folder_ + u'/' + SealedCopyOf(kind, month)).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    const int length = RecordLength(kind);
    QByteArray records = WholeRecords(fd, kind == MonthFileKind::Data ? length : 0, length);
    ::close(fd);
    return records;
}

std::optional<SealStore::Recovered> SealStore::Recover(QString* error) {
    Recovered recovered;
    const QStringList names =
        QDir(folder_, QStringLiteral("\?\?-\?\?\?\?-Seal.txt"), QDir::Name, QDir::Files).entryList();
    int newest = -1;
    for (const QString& name : names) {
        MonthSeals month;
        month.month = MonthOfText(name.left(7).toLatin1());
        if (month.month < 0)
            continue;
        if (auto failure = Recover(name, &month, &recovered)) {
            *error = *failure;
            return std::nullopt;
        }
        if (month.lines == 0)
            continue;
        if (month.month > newest)
            newest = month.month, recovered.lastKey = month.lastKey;
        recovered.months.push_back(std::move(month));
    }
    return recovered;
}

std::optional<QString> SealStore::Recover(const QString& name, MonthSeals* m, Recovered* recovered) {
    const QString path = folder_ + u'/' + name;
    QByteArray bytes = ReadWhole(path);
    if (const qsizetype torn = bytes.size() % SealLineLength) {
        bytes.chop(torn);
        if (auto failure = WriteAt(name, {{bytes.size(), TornLine()}}))
            return failure;
        bytes += TornLine();
    }
    m->lines = bytes.size() / SealLineLength;
    if (m->lines == 0)
        return std::nullopt; // made, never written: its month starts anew
    std::optional<SealLine> last;
    QByteArrayView lastBytes;
    for (qint64 n = 0; n < m->lines; ++n) {
        const QByteArrayView line = QByteArrayView(bytes).sliced(n * SealLineLength, SealLineLength);
        std::optional<SealLine> parsed = ParseLine(line);
        if (!parsed)
            continue;
        if (parsed->kind == LineKind::Close || parsed->kind == LineKind::Key)
            if (const auto next = NextKeyOf(parsed->detail))
                recovered->namedKeys.insert(HexOf(next->first));
        if (parsed->kind == LineKind::Close)
            m->closed = true, m->closeHead = parsed->head;
        last = std::move(parsed), lastBytes = line;
    }
    if (!last)
        return path + QStringLiteral(": no line can be read; move the file away to start its month anew");
    m->chain = LineStep(last->head, SignedPart(lastBytes));
    m->lastLine = last->time;
    m->lastKey = last->keyId;
    for (MonthFileKind kind : {MonthFileKind::Data, MonthFileKind::Events}) {
        MonthSeals::File& f = m->Of(kind);
        const QByteArray records = SealedRecords(kind, m->month);
        const int length = RecordLength(kind);
        f.sealed = records.size() / length;
        f.covered = kind == MonthFileKind::Data ? last->dataRecords : last->eventRecords;
        if (f.sealed < f.covered)
            return folder_ + u'/' + SealedCopyOf(kind, m->month) +
                   QStringLiteral(": holds %1 records, its seals name %2: restore it from a backup")
                       .arg(f.sealed)
                       .arg(f.covered);
        f.pending = records.mid(f.covered * length);
        f.last = records.right(length);
    }
    return std::nullopt;
}

std::optional<QString> SealStore::Apply(const std::vector<SealAction>& actions, KeyStore& keys,
                                        qint64 utcMs) {
    for (const SealAction& a : actions) {
        std::optional<QString> failure;
        switch (a.kind) {
        case SealAction::Kind::AppendSealed:
            failure = Append(a);
            break;
        case SealAction::Kind::WriteLine:
            failure = WriteAt(SealFileOf(a.month), {{a.at * SealLineLength, a.bytes}});
            break;
        case SealAction::Kind::StoreNextKey:
            failure = keys.StoreNext(*a.key, a.month, utcMs);
            break;
        case SealAction::Kind::CommitKey:
            failure = keys.Commit();
            break;
        }
        if (failure)
            return failure;
    }
    return std::nullopt;
}

// The records at their place (a torn tail of an earlier run cut away) and,
// for a data copy, its count record.
std::optional<QString> SealStore::Append(const SealAction& a) {
    const int length = RecordLength(a.file);
    const qint64 n = a.bytes.size() / length;
    if (a.file == MonthFileKind::Events)
        return WriteAt(SealedCopyOf(a.file, a.month), {{(a.at - n) * length, a.bytes}}, a.at * length);
    const QByteArray header = DataFileHeader(int(std::min<qint64>(a.at, MaxDataRecords))).toLatin1();
    return WriteAt(SealedCopyOf(a.file, a.month), {{(a.at - n + 1) * length, a.bytes}, {0, header}},
                   (a.at + 1) * length);
}

std::optional<QString> SealStore::WriteAt(const QString& name, const std::vector<Piece>& pieces,
                                          std::optional<qint64> size) {
    const QString path = folder_ + u'/' + name;
    const QByteArray encoded = QFile::encodeName(path);
    int fd = ::open(encoded.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const bool created = fd >= 0;
    if (fd < 0 && errno == EEXIST)
        fd = ::open(encoded.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return FailureText(path, QStringLiteral("cannot open"));
    std::optional<QString> failure;
    for (const auto& [offset, bytes] : pieces)
        if (!failure)
            failure = WriteFully(fd, bytes, path, offset);
    if (!failure && size && ::ftruncate(fd, *size) != 0)
        failure = FailureText(path, QStringLiteral("cannot cut a torn tail"));
    if (!failure && ::fdatasync(fd) != 0)
        failure = FailureText(path, QStringLiteral("cannot sync"));
    ::close(fd);
    if (!failure && created)
        if (const FileOutcome synced = SyncedFolder(folder_); !synced)
            failure = synced.message;
    return failure;
}

} // namespace tarvek
