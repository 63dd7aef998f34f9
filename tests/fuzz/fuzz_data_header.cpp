// Any bytes as the content of a data file: the header reader gives a count
// from 1 to 99999 or none, and one StoreDataRecord leaves whole records only,
// a header that names the new record, the new record in the place it names,
// and every other whole record of the old file as it was.
#include "common/TextHelpers.h"
#include "data/StoringData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace tarvek;

namespace {

constexpr qint64 Length = DataRecordLength;

constexpr auto Require = [](bool ok) { return ok ? void() : std::abort(); };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool made = QDir().mkpath(dir.path() + "/datafiles");
    Require(made);
    const QByteArray old(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString header = QString::fromLatin1(old.left(Length));
    const std::optional<int> count = ReadHeaderCount(header);
    Require(!count ||
            (*count >= 1 && *count <= MaxDataRecords && *count == LeadingNumber(header.mid(14, 5))));

    Declarations state;
    state.AppFolder = dir.path();
    state.ScanDate = QStringLiteral("05-03-2008");
    state.ScanTime = QStringLiteral("10:15:30");
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        state.ChannelValue[k] = QStringLiteral("  +%1.000").arg(k);
    QFile file(DataFilePath(state));
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(old) == old.size());
    file.close();

    Require(StoreDataRecord(state).ok);
    Require(file.open(QIODevice::ReadOnly));
    const QByteArray now = file.readAll();
    file.close();
    Require(now.size() % Length == 0 && now.size() >= old.size());
    const std::optional<int> next = ReadHeaderCount(QString::fromLatin1(now.left(Length)));
    Require(next.has_value() && (*next + 1) * Length <= now.size());
    Require(now.mid(*next * Length, Length) == BuildDataRecord(state).toLatin1());
    for (qint64 r = 1; (r + 1) * Length <= old.size(); ++r)
        Require(r == *next || now.mid(r * Length, Length) == old.mid(r * Length, Length));
    return 0;
}
