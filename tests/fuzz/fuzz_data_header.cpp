// Any bytes as the content of a data file: the header reader gives a count
// from 1 to 99999 or none, and one StoreDataRecord leaves the file as it was
// but for the new record after the last one the header names (after the last
// whole record when it names none the file holds), a torn record it does not
// replace completed with blanks, and the header counting the new record.
//
// Input: the first byte chooses the layout. Even: the rest is the file. Odd:
// a long file, to reach the wrap of the count: the rest's first 160 bytes,
// NULs up to record 99995 + (first byte / 2) % 8, then the rest's other bytes.
#include "common/TextHelpers.h"
#include "data/StoringData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr qint64 Length = DataRecordLength;

void Require(bool condition) {
    if (!condition)
        std::abort();
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
    // The file: `head` at 0, `tail` at `tailOffset`, NULs between.
    const QByteArray head = longFile ? rest.left(Length) : rest;
    const QByteArray tail = longFile ? rest.mid(Length) : QByteArray();
    const qint64 tailOffset = longFile ? (99995 + data[0] / 2 % 8 - 1) * Length : head.size();
    const qint64 oldSize = tailOffset + tail.size();

    Declarations d;
    d.AppFolder = dir.path();
    d.ScanDate = QStringLiteral("05-03-2008");
    d.ScanTime = QStringLiteral("10:15:30");
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = QStringLiteral("  +%1.000").arg(k);
    QFile file(DataFolderPath(d) + "/03-2008-Data.txt");
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(head) == head.size() &&
            file.resize(tailOffset) && file.seek(tailOffset) && file.write(tail) == tail.size());
    file.close();

    const QString header = QString::fromLatin1(head.left(Length));
    const std::optional<int> count = ReadHeaderCount(header);
    Require(!count ||
            (*count >= 1 && *count <= MaxDataRecords && *count == LeadingNumber(header.mid(14, 5))));
    if (size >= 4) {
        const int k = 1 + int((data[1] | data[2] << 8 | data[3] << 16) % MaxDataRecords);
        Require(ReadHeaderCount(DataFileHeader(k)) == k);
    }

    Require(StoreDataRecord(d).ok);
    const qint64 whole = oldSize / Length;
    const int last = whole == 0                ? 0
                     : count && *count < whole ? *count
                                               : int(std::min<qint64>(whole - 1, MaxDataRecords));
    const int next = last == MaxDataRecords ? 1 : last + 1;
    const bool completed = oldSize % Length != 0 && whole >= 1 && whole != next;
    const qint64 newSize = std::max((completed ? whole + 1 : whole) * Length, (next + 1) * Length);
    const QByteArray newHeader = DataFileHeader(next).toLatin1();
    const QByteArray record = d.DataRecord.toLatin1();
    const QByteArray blank = QByteArray(Length - 3, ' ') + "*\r\n";
    // The file as it must be now, bytes [from, to).
    const auto expected = [&](qint64 from, qint64 to) {
        QByteArray bytes;
        for (qint64 at = from; at < to; ++at)
            bytes += at < Length                                       ? newHeader[at]
                     : at >= next * Length && at < (next + 1) * Length ? record[at - next * Length]
                     : at < head.size()                                ? head[at]
                     : at >= oldSize                                   ? blank[at % Length]
                     : at >= tailOffset                                ? tail[at - tailOffset]
                                                                       : '\0';
        return bytes;
    };
    // A long file is compared around the header, the new record and the tail.
    std::vector<std::pair<qint64, qint64>> windows{{0, longFile ? 3 * Length : newSize}};
    if (longFile)
        windows.insert(windows.end(),
                       {{(next - 1) * Length, (next + 2) * Length}, {tailOffset - Length, newSize}});
    Require(record.size() == Length && file.open(QIODevice::ReadOnly) && file.size() == newSize);
    for (const auto& [from, to] : windows)
        Require(file.seek(from) &&
                file.read(std::min(to, newSize) - from) == expected(from, std::min(to, newSize)));
    return 0;
}
