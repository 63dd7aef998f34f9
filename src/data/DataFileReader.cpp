#include "data/DataFileReader.h"

#include <QDir>

#include <algorithm>
#include <cerrno>

namespace tarvek {

namespace {

// Reads exactly `size` bytes at `offset`; false with the reason otherwise (a
// file cut meanwhile reads short, without an error of its own).
bool ReadWhole(int fd, char* out, qint64 size, qint64 offset, QString* reason) {
    const qint64 n = ReadAt(fd, out, size, offset);
    if (n == size)
        return true;
    *reason = n < 0 ? qt_error_string(errno) : QStringLiteral("Unknown error");
    return false;
}

} // namespace

std::optional<CountedRecords> CountRecords(int fd, qint64 size, QString* reason) {
    CountedRecords counted;
    counted.whole = size / DataRecordLength;
    if (counted.whole == 0)
        return counted;
    char header[DataRecordLength];
    if (!ReadWhole(fd, header, DataRecordLength, 0, reason))
        return std::nullopt;
    counted.headerCount = ReadHeaderCount(QString::fromLatin1(header, DataRecordLength));
    const DataFileEnd end = LastDataRecord(counted.whole, counted.headerCount);
    counted.count = end.last;
    counted.countDisagrees = end.countDisagrees;
    return counted;
}

bool ReadRecords(int fd, qint64 from, qint64 n, const std::function<void(qint64, const char*)>& each,
                 QString* reason) {
    constexpr qint64 ChunkRecords = 4096;
    QByteArray chunk;
    for (qint64 done = 0; done < n;) {
        const qint64 m = std::min(ChunkRecords, n - done);
        chunk.resize(m * DataRecordLength);
        if (!ReadWhole(fd, chunk.data(), chunk.size(), (from + done + 1) * DataRecordLength, reason))
            return false;
        for (qint64 r = 0; r < m; ++r)
            each(from + done + r + 1, chunk.constData() + r * DataRecordLength);
        done += m;
    }
    return true;
}

DataFileCursor::Outcome DataFileCursor::ReadNew(const OpenedFile& file, std::vector<StoredRecord>& out) {
    const auto fail = [&](const QString& what, const QString& reason) {
        error_ = QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(path_), what, reason);
        return Outcome::Failed;
    };
    if (!file)
        return fail(QStringLiteral("cannot open"), file.Failure());
    const qint64 size = file.Stamp().size;
    QString reason;
    countNote_.clear();
    const std::optional<CountedRecords> counted = CountRecords(file.Fd(), size, &reason);
    if (!counted)
        return fail(QStringLiteral("cannot read"), reason);
    if (counted->countDisagrees)
        countNote_ = CountDisagreesText(path_, counted->headerCount, size);

    Outcome outcome = Outcome::Ok;
    if (counted->count < read_) {
        read_ = 0;
        tally_ = {};
        outcome = Outcome::Restarted;
    }
    StoredRecord record;
    const bool read = ReadRecords(
        file.Fd(), read_, counted->count - read_,
        [&](qint64 number, const char* bytes) {
            switch (ParseDataRecord(bytes, &record)) {
            case RecordKind::Data:
                out.push_back(record);
                break;
            case RecordKind::Blank:
                ++tally_.blank;
                break;
            case RecordKind::NotData:
                ++tally_.notData;
                break;
            }
            read_ = number - 1;
        },
        &reason);
    if (!read)
        return fail(QStringLiteral("cannot read"), reason);
    read_ = counted->count;
    tally_.uncounted = counted->whole > 0 ? counted->whole - 1 - counted->count : 0;
    tally_.torn = size % DataRecordLength != 0 ? 1 : 0;
    error_.clear();
    return outcome;
}

} // namespace tarvek
