// Any bytes as the content of a data file. The reader never fails on a file
// it can open, gives back or tallies every record, and every record it gives
// back is one the logger's own writer would store byte for byte: no value is
// ever invented; a second read finds nothing new. The header reader gives a
// count from 1 to 99999 or none, and one StoreDataRecord leaves whole records
// only, a header that names the new record, the new record in the place it
// names, and every other whole record of the old file as it was. The same
// bytes as the channel parameters file give names and units within their
// fields, never empty and free of control characters.
#include "common/TextHelpers.h"
#include "data/DataFileReader.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"
#include "viewer/TrendSource.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdint>
#include <cstdlib>

using namespace tarvek;

namespace {

constexpr qint64 Length = DataRecordLength;

constexpr auto Require = [](bool ok) { return ok ? void() : std::abort(); };

// The 9-character text the logger writes for a stored value.
QString ValueTextOf(StoredValue v) {
    if (v.IsGap())
        return v.IsNoData() ? NoDataText : InvalidValueText;
    const QString digits = QString::fromLatin1(v.Text());
    return (digits.startsWith(u'-') ? digits : u'+' + digits).rightJustified(ValueWidth, u' ');
}

// A record with every negative zero ("-0", "-0.000") written as a positive
// one: the reader keeps the number, not the sign of a zero.
QByteArray WithoutSignedZeros(QByteArray record) {
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        const qsizetype at = 20 + 17 * k;
        const QByteArray field = record.mid(at, ValueWidth).trimmed();
        if (field.startsWith('-') && field.count('0') + (field.contains('.') ? 2 : 1) == field.size())
            record[at + record.mid(at, ValueWidth).indexOf('-')] = '+';
    }
    return record;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

void ReadAsTheViewerDoes(const QString& path, const QByteArray& bytes) {
    DataFileCursor cursor(path);
    std::vector<StoredRecord> records;
    Require(cursor.ReadNew(OpenedFile::Open(path, LinkPolicy::Refuse), records) ==
            DataFileCursor::Outcome::Ok);
    // Every whole record after the header is given back or tallied, once.
    const qint64 whole = bytes.size() / Length, counted = cursor.RecordsCounted();
    const ReadTally& t = cursor.Tally();
    Require(counted == qint64(records.size()) + t.blank + t.notData &&
            t.torn == (bytes.size() % Length != 0));
    Require(counted + t.uncounted == std::max<qint64>(whole - 1, 0) && counted <= MaxDataRecords);

    // Each data record, written again by the logger, gives the bytes it was
    // read from.
    auto next = records.begin();
    for (qint64 n = 1; n <= counted; ++n) {
        const QByteArray source = bytes.mid(n * Length, Length);
        StoredRecord parsed;
        if (ParseDataRecord(source.constData(), &parsed) != RecordKind::Data)
            continue;
        Require(next != records.end());
        const StoredRecord& r = *next++;
        Declarations state;
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(r.localMs, QTimeZone::utc()); // as a scan's stamp
        state.ScanDate = DateStamp(at.date()), state.ScanTime = TimeText(at.time());
        for (int k = 0; k < Declarations::ChannelCount; ++k) {
            state.ChannelValue[k + 1] = ValueTextOf(r.values[k]);
            if (!r.values[k].IsGap())
                Require(r.values[k].Value() == std::strtod(r.values[k].Text().constData(), nullptr));
        }
        Require(WithoutSignedZeros(BuildDataRecord(state).toLatin1()) == WithoutSignedZeros(source));
    }
    Require(next == records.end());
    std::vector<StoredRecord> more;
    Require(cursor.ReadNew(OpenedFile::Open(path, LinkPolicy::Refuse), more) == DataFileCursor::Outcome::Ok &&
            more.empty());
}

void StoreAsTheLoggerDoes(Declarations& state, const QByteArray& old) {
    const QString header = QString::fromLatin1(old.left(Length));
    const std::optional<int> count = ReadHeaderCount(header);
    Require(!count ||
            (*count >= 1 && *count <= MaxDataRecords && *count == LeadingNumber(header.mid(14, 5))));
    Require(StoreDataRecord(state).ok);
    QFile file(DataFilePath(state));
    Require(file.open(QIODevice::ReadOnly));
    const QByteArray now = file.readAll();
    Require(now.size() % Length == 0 && now.size() >= old.size());
    const std::optional<int> next = ReadHeaderCount(QString::fromLatin1(now.left(Length)));
    Require(next.has_value() && (*next + 1) * Length <= now.size());
    Require(now.mid(*next * Length, Length) == BuildDataRecord(state).toLatin1());
    for (qint64 r = 1; (r + 1) * Length <= old.size(); ++r)
        Require(r == *next || now.mid(r * Length, Length) == old.mid(r * Length, Length));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const bool made =
        QDir().mkpath(dir.path() + "/datafiles") && QDir().mkpath(dir.path() + "/settingfiles");
    Require(made);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Declarations state;
    state.AppFolder = dir.path();
    state.ScanDate = QStringLiteral("05-03-2008"), state.ScanTime = QStringLiteral("10:15:30");
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        state.ChannelValue[k] = QStringLiteral("  +%1.000").arg(k);
    const QString path = DataFilePath(state);
    Write(path, bytes);
    ReadAsTheViewerDoes(path, bytes);
    StoreAsTheLoggerDoes(state, bytes);

    Write(dir.path() + "/settingfiles/channelsparameters.txt", bytes);
    QStringList limitProblems;
    QString openProblem;
    for (const ChannelInfo& info :
         ReadChannelInfos(dir.path() + "/settingfiles", &limitProblems, &openProblem)) {
        Require(!info.name.isEmpty() && info.name.size() <= 22 && !info.unit.isEmpty() &&
                info.unit.size() <= 4);
        for (const QChar c : info.name + info.unit)
            Require(c.unicode() >= 0x20 && (c.unicode() < 0x7f || c.unicode() >= 0xa0));
    }
    Require(openProblem.isEmpty());
    return 0;
}
