// Any bytes as the content of a data file: the header reader gives a count
// from 1 to 99999 or none, and one StoreDataRecord leaves whole 160-byte
// records, a header counting the new record, the new record where the count
// says, and every other byte the file held where it was.
//
// Input: the first byte chooses the layout. Even: the rest is the file.
// Odd: the file is long, to reach the wrap of the count: the rest's first 160
// bytes are the header, then come NUL-filled records up to record
// 99995 + (first byte / 2) % 8, then the rest's remaining bytes.
#include "common/TextHelpers.h"
#include "data/StoringData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

constexpr qint64 Length = DataRecordLength;

void Require(bool condition) {
    if (!condition)
        std::abort();
}

QByteArray ReadAt(QFile& file, qint64 offset, qint64 bytes) {
    Require(file.seek(offset));
    return file.read(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool made = QDir().mkpath(dir.path() + "/datafiles");
    Require(made);
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const bool longFile = data[0] % 2 == 1;

    // The file as it is before the store: `head` from offset 0, `tail` from
    // `tailOffset` (NULs in between, in a long file).
    const QByteArray head = longFile ? rest.left(Length) : rest;
    const QByteArray tail = longFile ? rest.mid(Length) : QByteArray();
    const qint64 tailOffset = longFile ? (99995 + (data[0] / 2) % 8 - 1) * Length : head.size();
    const qint64 oldSize = longFile ? tailOffset + tail.size() : head.size();

    Declarations d;
    d.AppFolder = dir.path();
    d.ScanDate = QStringLiteral("05-03-2008");
    d.ScanTime = QStringLiteral("10:15:30");
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = QStringLiteral("  +%1.000").arg(k);
    const QString path = DataFolderPath(d) + "/03-2008-Data.txt";
    {
        QFile file(path);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Require(file.write(head) == head.size());
        if (longFile) {
            Require(file.resize(tailOffset));
            Require(file.seek(tailOffset) && file.write(tail) == tail.size());
        }
    }

    // The header as the reader sees it.
    const QString oldHeader = QString::fromLatin1(head.left(Length));
    const std::optional<int> headerCount = ReadHeaderCount(oldHeader);
    if (headerCount)
        Require(*headerCount >= 1 && *headerCount <= MaxDataRecords &&
                *headerCount == LeadingNumber(oldHeader.mid(14, 5)));
    if (size >= 4) {
        const int k = 1 + int((data[1] | data[2] << 8 | data[3] << 16) % MaxDataRecords);
        Require(ReadHeaderCount(DataFileHeader(k)) == k);
    }

    // Where the record must go: after the header's count when the file holds
    // that record whole, otherwise after the last whole record.
    const qint64 oldWhole = oldSize / Length;
    int last = 0;
    if (oldWhole >= 1)
        last = headerCount && *headerCount + 1 <= oldWhole
                   ? *headerCount
                   : int(std::min<qint64>(oldWhole - 1, MaxDataRecords));
    const int count = last + 1 > MaxDataRecords ? 1 : last + 1;

    Require(StoreDataRecord(d).ok);

    QFile file(path);
    Require(file.open(QIODevice::ReadOnly));
    const qint64 newSize = file.size();
    Require(newSize % Length == 0);
    const qint64 oldRecords = (oldSize + Length - 1) / Length; // a torn tail made whole counts
    Require(newSize / Length == std::max<qint64>(oldRecords, count + 1));
    Require(ReadAt(file, 0, Length) == DataFileHeader(count).toLatin1());
    Require(ReadAt(file, count * Length, Length) == d.DataRecord.toLatin1());
    Require(d.DataRecord.size() == Length);

    // Every other byte the file held is still there; a torn last record is
    // completed with blanks and "*", CR, LF, keeping its bytes.
    const auto unchanged = [&](qint64 offset, const QByteArray& before) {
        const qint64 from = std::max(offset, Length); // the header changes
        for (qint64 at = from; at < offset + before.size(); at += Length - at % Length) {
            const qint64 record = at / Length + 1;
            if (record == count + 1)
                continue;
            const qint64 end = std::min(offset + before.size(), record * Length);
            Require(ReadAt(file, at, end - at) == before.mid(at - offset, end - at));
        }
    };
    unchanged(0, head);
    unchanged(tailOffset, tail);
    if (oldSize % Length != 0 && oldRecords != 1 && oldRecords != count + 1) {
        const qint64 torn = oldSize % Length;
        const QByteArray completion = ReadAt(file, oldSize, Length - torn);
        Require(completion == (QByteArray(Length - 3, ' ') + "*\r\n").mid(torn));
    }
    file.close();
    return 0;
}
