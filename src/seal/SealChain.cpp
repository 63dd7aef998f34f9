#include "seal/SealChain.h"

#include "data/DataRecord.h"
#include "data/EventRecord.h"
#include "data/StoredTime.h"

#include <cstring>

namespace tarvek {

Digest Genesis(int month, const PublicKey& key) {
    QByteArray input = "TARVEK-SEAL-1 genesis" + MonthText(month);
    input.append(reinterpret_cast<const char*>(key.data()), PublicKeyBytes);
    return Sha256Of(input);
}

Digest RecordStep(const Digest& head, MonthFileKind kind, int month, qint64 number, QByteArrayView record) {
    // One buffer on the stack: a month takes in some ninety thousand records.
    unsigned char input[DigestBytes + 1 + 7 + 8 + 160];
    unsigned char* p = input;
    std::memcpy(p, head.data(), DigestBytes), p += DigestBytes;
    *p++ = kind == MonthFileKind::Data ? 'D' : 'E';
    std::memcpy(p, MonthText(month).constData(), 7), p += 7;
    for (int shift = 56; shift >= 0; shift -= 8)
        *p++ = static_cast<unsigned char>(quint64(number) >> shift);
    const qsizetype n = std::min<qsizetype>(record.size(), 160);
    std::memcpy(p, record.data(), size_t(n)), p += n;
    return Sha256Of(QByteArrayView(input, p - input));
}

Digest LineStep(const Digest& head, QByteArrayView signedPart) {
    QByteArray input(reinterpret_cast<const char*>(head.data()), DigestBytes);
    input += 'L';
    input += signedPart;
    return Sha256Of(input);
}

QByteArray MonthText(int month) {
    return QByteArray::number(month % 12 + 1).rightJustified(2, '0') + '-' +
           QByteArray::number(month / 12).rightJustified(4, '0');
}

int MonthOfText(QByteArrayView text) {
    if (text.size() != 7)
        return -1;
    return MonthKey(QString::fromLatin1(text.toByteArray()) + QStringLiteral("-Data.txt"));
}

int RecordLength(MonthFileKind kind) {
    return kind == MonthFileKind::Data ? DataRecordLength : EventRecordLength;
}

QString MonthFileOf(MonthFileKind kind, int month) {
    const QString date = QStringLiteral("01-") + QString::fromLatin1(MonthText(month));
    return kind == MonthFileKind::Data ? DataFileName(date) : EventFileName(date);
}

QString SealedCopyOf(MonthFileKind kind, int month) {
    return QString::fromLatin1(MonthText(month)) +
           (kind == MonthFileKind::Data ? QStringLiteral("-Data.sealed") : QStringLiteral("-Events.sealed"));
}

QString SealFileOf(int month) {
    return QString::fromLatin1(MonthText(month)) + QStringLiteral("-Seal.txt");
}

QByteArray ZeroPadded(qint64 n, int width) {
    return QByteArray::number(std::max<qint64>(n, 0)).rightJustified(width, '0').right(width);
}

std::optional<qint64> RecordStampMs(MonthFileKind kind, QByteArrayView record) {
    if (record.size() != RecordLength(kind))
        return std::nullopt;
    if (kind == MonthFileKind::Data) {
        StoredRecord stored;
        if (ParseDataRecord(record.data(), &stored) != RecordKind::Data)
            return std::nullopt;
        return stored.localMs;
    }
    const std::optional<Event> e = ParseEventRecord(record);
    if (!e)
        return std::nullopt;
    return ParseStoredTime(e->date.mid(6, 4) + u'-' + e->date.mid(3, 2) + u'-' + e->date.left(2) + u'T' +
                           e->time);
}

} // namespace tarvek
