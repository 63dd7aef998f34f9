#include "publish/SealEvents.h"

#include "data/EventRecord.h"
#include "data/StoredTime.h"
#include "seal/SealChain.h"
#include "seal/SealLine.h"

namespace tarvek {

QString FindingText(const SealLine& line) {
    const QString kind = QString::fromLatin1(KindName(line.kind));
    if (line.kind == LineKind::Start)
        return QStringLiteral("KEY LOST ") + QString::fromLatin1(line.detail.mid(5));
    const std::optional<RecordRef> ref = RecordRefOf(line.detail);
    if (!ref) { // a file ("D 12-2026-Data.txt"), a clock's step
        const bool file = line.kind == LineKind::Removed || line.kind == LineKind::Replaced;
        return (kind + u' ' + QString::fromLatin1(line.detail.mid(file ? 2 : 0))).trimmed();
    }
    const QString file = MonthFileOf(ref->events ? MonthFileKind::Events : MonthFileKind::Data, line.month);
    if (ref->count <= 1)
        return QStringLiteral("%1 %2 record %3").arg(kind, file).arg(ref->record);
    return QStringLiteral("%1 %2 from record %3, %4 records")
        .arg(kind, file)
        .arg(ref->record)
        .arg(ref->count);
}

SealBytes ParseSealBytes(QByteArrayView bytes, qint64 firstLine, const QString& file,
                         const QString& alarmKind) {
    SealBytes read;
    for (qsizetype at = 0; at + SealLineLength <= bytes.size(); at += SealLineLength) {
        const QByteArrayView raw = bytes.sliced(at, SealLineLength);
        const std::optional<SealLine> line = ParseLine(raw);
        if (!line) {
            ++read.skipped;
            continue;
        }
        FedEvent fed;
        fed.position = {file, firstLine + at / SealLineLength};
        fed.seal = raw.toByteArray();
        fed.utcMs = line->time.utcMs;
        fed.localMs = line->time.utcMs + line->time.offsetSeconds * SecondMs;
        fed.finding = RaisesAlarm(*line);
        if (fed.finding) {
            const QByteArray local = StoredTimeText(fed.localMs); // "yyyy-mm-ddThh:mm:ss"
            Event& e = fed.event;
            e.date = QString::fromLatin1(local.mid(8, 2) + '-' + local.mid(5, 2) + '-' + local.left(4));
            e.time = QString::fromLatin1(local.mid(11, 8));
            e.kind = alarmKind;
            e.name = EventNames::Raised;
            e.text = FindingText(*line);
        }
        read.lines.push_back(std::move(fed));
    }
    return read;
}

} // namespace tarvek
