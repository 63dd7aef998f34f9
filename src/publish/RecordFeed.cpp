#include "publish/RecordFeed.h"

#include "common/SharedFile.h"
#include "data/DataRecord.h"
#include "data/StoringData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

// Year * 12 + month of a month file's name, or -1 for any other name.
int MonthKey(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d\\d)-(\\d{4})-Data\\.txt$"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return -1;
    const int month = m.captured(1).toInt();
    return month >= 1 && month <= 12 ? m.captured(2).toInt() * 12 + month - 1 : -1;
}

// Reads exactly `bytes.size()` bytes at `offset`.
bool ReadAt(int fd, QByteArray& bytes, qint64 offset) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Closes the descriptor when the read of one file ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

QStringList MonthFileNames(const QString& folder) {
    QStringList names;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden))
        if (MonthKey(name) >= 0)
            names += name;
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return MonthKey(a) < MonthKey(b); });
    return names;
}

RecordFeed::Step RecordFeed::ReadFile(qint64 most, std::vector<FedRecord>& out) {
    const QString path = CurrentPath();
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    const auto fail = [&](const QString& why) {
        error_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return Step::Failed;
    };
    if (!file)
        return fail(file.reason);
    const Descriptor closer{file.fd};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return fail(qt_error_string(errno));
    const qint64 whole = st.st_size / DataRecordLength;

    // The logger's count of its last record.
    QByteArray header(DataRecordLength, '\0');
    if (whole > 0 && !ReadAt(file.fd, header, 0))
        return fail(QStringLiteral("cannot read"));
    const qint64 count =
        LastDataRecord(whole, whole > 0 ? ReadHeaderCount(QString::fromLatin1(header)) : std::nullopt).last;

    // A file cut below the mark, or whose record at the mark changed, was
    // replaced: where it first differs is unknown, so all of it goes again.
    const QString again = QStringLiteral("; sending the file again from its start");
    QString changed;
    if (mark_.number > count) {
        changed = QStringLiteral("holds %1 records, fewer than the %2 sent").arg(count).arg(mark_.number);
    } else if (mark_.number > 0) {
        QByteArray at(DataRecordLength, '\0');
        if (!ReadAt(file.fd, at, mark_.number * DataRecordLength))
            return fail(QStringLiteral("cannot read"));
        if (mark_.bytes.isEmpty())
            mark_.bytes = at;
        else if (at != mark_.bytes)
            changed = QStringLiteral("record %1 is no longer the one sent").arg(mark_.number);
    }
    if (!changed.isEmpty()) {
        notes_ += QDir::toNativeSeparators(path) + QStringLiteral(": ") + changed + again;
        mark_.number = 0;
        mark_.bytes.clear();
    }
    if (count == mark_.number)
        return Step::AtEnd;

    constexpr qint64 ChunkRecords = 1024;
    const qint64 n = std::min({count - mark_.number, most, ChunkRecords});
    QByteArray chunk(n * DataRecordLength, '\0');
    if (!ReadAt(file.fd, chunk, (mark_.number + 1) * DataRecordLength))
        return fail(QStringLiteral("cannot read"));
    FedRecord fed;
    fed.mark.file = mark_.file;
    for (qint64 r = 0; r < n; ++r) {
        const char* bytes = chunk.constData() + r * DataRecordLength;
        mark_.number += 1;
        mark_.bytes = QByteArray(bytes, DataRecordLength);
        if (ParseDataRecord(bytes, &fed.record) == RecordKind::Data) {
            fed.mark.number = mark_.number;
            fed.mark.bytes = mark_.bytes;
            out.push_back(fed);
        }
    }
    return Step::Read;
}

bool RecordFeed::Read(qint64 most, std::vector<FedRecord>& out) {
    const std::size_t before = out.size();
    QStringList names;
    bool listed = false;
    while (qint64(out.size() - before) < most) {
        if (!mark_.file.isEmpty()) {
            switch (ReadFile(most - qint64(out.size() - before), out)) {
            case Step::Failed:
                return false;
            case Step::Read:
                continue;
            case Step::AtEnd:
                break;
            }
        }
        // At the end of a file: on to the next month's file, when there is one.
        if (!listed) {
            names = MonthFileNames(folder_);
            listed = true;
        }
        const int key = mark_.file.isEmpty() ? -1 : MonthKey(mark_.file);
        const auto next =
            std::find_if(names.cbegin(), names.cend(), [&](const QString& n) { return MonthKey(n) > key; });
        if (next == names.cend())
            break;
        mark_ = Mark{*next, 0, {}};
    }
    error_.clear();
    return true;
}

std::optional<Mark> RecordFeed::EndMark() {
    const QStringList names = MonthFileNames(folder_);
    const Mark saved = mark_;
    mark_ = names.isEmpty() ? Mark{} : Mark{names.last(), 0, {}};
    std::vector<FedRecord> skipped;
    bool ok = true;
    while (ok) {
        skipped.clear();
        ok = Read(4096, skipped);
        if (skipped.empty())
            break;
    }
    std::optional<Mark> end = ok ? std::optional(mark_) : std::nullopt;
    mark_ = saved;
    return end;
}

std::optional<Mark> LoadMark(const QString& path, QString* error) {
    error->clear();
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    Mark mark;
    bool file_ = false, number = false, bytes = false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        const QByteArray key = line.left(eq), value = line.mid(eq + 1);
        if (key == "file") {
            mark.file = QString::fromUtf8(value);
            file_ = mark.file.isEmpty() || MonthKey(mark.file) >= 0;
        } else if (key == "record") {
            mark.number = value.toLongLong(&number);
            number = number && mark.number >= 0;
        } else if (key == "bytes") {
            mark.bytes = QByteArray::fromBase64(value);
            bytes = mark.bytes.isEmpty() || mark.bytes.size() == DataRecordLength;
        }
    }
    if (!file_ || !number || !bytes) {
        *error = QStringLiteral("%1: is not a state file of tarvek-publish (file=, record=, bytes=)")
                     .arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    return mark;
}

bool SaveMark(const QString& path, const Mark& mark, QString* error) {
    const QByteArray text = "file=" + mark.file.toUtf8() + "\nrecord=" + QByteArray::number(mark.number) +
                            "\nbytes=" + mark.bytes.toBase64() + '\n';
    const QByteArray name = QFile::encodeName(path), temporary = name + ".new";
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const auto fail = [&](int fd) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    };
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(fd);
    if (::write(fd, text.constData(), size_t(text.size())) != text.size() || ::fsync(fd) != 0)
        return fail(fd);
    if (::close(fd) != 0 || ::rename(temporary.constData(), name.constData()) != 0)
        return fail(-1);
    // The rename itself reaches the disk with the folder.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || ::fsync(dir) != 0)
        return fail(dir);
    ::close(dir);
    error->clear();
    return true;
}

} // namespace tarvek
