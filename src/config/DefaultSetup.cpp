#include "config/DefaultSetup.h"

#include "common/TextHelpers.h"
#include "config/GettingParameters.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

// Label (positions 1..21), value (22..77), terminator (78..80).
QString GeneralRecord(const QString& label, const QString& value) {
    return FixedText(label, 21) + FixedText(value, 56) + RecordTerminator;
}

// One channel record laid out in its fixed columns, ";" in every separator.
QString ChannelRecord(int c) {
    const QString channel = QStringLiteral("Ch.%1").arg(c);
    return FixedText(channel, 5) + FixedText(QStringLiteral("Analog input %1").arg(c), 22) + u';' +
           QStringLiteral("3") + u';' + FixedText(QStringLiteral("Bar"), 4) + u';' +
           FixedText(QStringLiteral("1"), 9) + u';' + FixedText(QStringLiteral("0"), 9) + u';' +
           QStringLiteral("1") + u';' + FixedText(QStringLiteral("-9999"), 9) + u';' +
           FixedText(QStringLiteral("9999"), 9) + u';' + RecordTerminator;
}

// Writes the whole file under a temporary name and renames it into place, so
// that a full disk or a crash never leaves a partial set-up file behind: one
// would be kept as the operator's own at the next start and never repaired.
FileOutcome WriteIfAbsent(const QString& path, const QStringList& records) {
    if (QFileInfo::exists(path))
        return {};
    QByteArray bytes;
    for (const QString& record : records)
        bytes += FixedText(record, 80).toLatin1();
    QSaveFile file(path);
    const auto failure = [&](const char* what) {
        return FileOutcome::Failure(
            QStringLiteral("%1: %2 (%3)")
                .arg(QDir::toNativeSeparators(path), QLatin1String(what), file.errorString()));
    };
    // Unbuffered, and every byte checked: a buffered write that the disk cut
    // short is not reported by commit(), which would then rename a partial file
    // into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure("cannot create");
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            return failure("cannot write");
        written += n;
    }
    if (!file.commit())
        return failure("cannot write");
    return {};
}

} // namespace

QStringList DefaultGeneralRecords() {
    QStringList records;
    for (int n = 1; n <= GeneralRecordCount; ++n) {
        QString label = QStringLiteral("Reserved %1").arg(n, 2, 10, QChar(u'0'));
        QString value;
        switch (n) {
        case 1:
            label = QStringLiteral("Installation");
            value = QStringLiteral("TARVEK acquisition station");
            break;
        case SerialLineRecord:
            label = QStringLiteral("Serial line (COM n)");
            value = QStringLiteral("1");
            break;
        case StorageRateRecord:
            label = QStringLiteral("Storage rate code");
            value = QStringLiteral("1");
            break;
        case SensorTypeRecord:
            label = QStringLiteral("Sensor type Ch.1-8");
            value = QStringLiteral("0");
            break;
        default:
            break;
        }
        records << GeneralRecord(label, value);
    }
    return records;
}

QStringList DefaultChannelRecords() {
    QStringList records;
    records << FixedText(QStringLiteral("TARVEK channel parameters"), 77) + RecordTerminator;
    for (int r = 2; r <= 9; ++r)
        records << QString(77, u' ') + RecordTerminator;
    // Column headings over the fixed columns of the channel records.
    records << FixedText(QStringLiteral(
                             "Ch.  Description          ;D;Unit;Gain     ;Zero     ;A;Alarm min;Alarm max;"),
                         77) +
                   RecordTerminator;
    for (int c = 1; c <= 8; ++c)
        records << ChannelRecord(c);
    return records;
}

FileOutcome InstallDefaultSetup(const QString& folder) {
    const QString settings = folder + QStringLiteral("/settingfiles");
    const QString data = folder + QStringLiteral("/datafiles");
    for (const QString& path : {settings, data}) {
        if (FileOutcome made = EnsureFolder(path); !made)
            return made;
    }
    if (FileOutcome general =
            WriteIfAbsent(settings + QStringLiteral("/generalparameters.txt"), DefaultGeneralRecords());
        !general)
        return general;
    return WriteIfAbsent(settings + QStringLiteral("/channelsparameters.txt"), DefaultChannelRecords());
}
