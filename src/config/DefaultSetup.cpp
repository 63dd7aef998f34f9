#include "config/DefaultSetup.h"
#include "common/Folders.h"

#include "common/Declarations.h"
#include "common/ReplaceFile.h"
#include "common/TextHelpers.h"
#include "config/AlarmParameters.h"
#include "config/InstrumentParameters.h"
#include "config/SettingRecords.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <unistd.h>

namespace tarvek {

namespace {

// One channel record with a working gain and zero, laid out in its columns.
QString DefaultChannelRecord(int c) {
    Declarations::ChannelRow fields;
    fields[Declarations::Description] = QStringLiteral("Analog input %1").arg(c);
    fields[Declarations::Decimals] = QStringLiteral("3");
    fields[Declarations::Unit] = DefaultUnit;
    fields[Declarations::Gain] = QStringLiteral("1");
    fields[Declarations::Zero] = QStringLiteral("0");
    fields[Declarations::Active] = QStringLiteral("1");
    fields[Declarations::AlarmMin] = QStringLiteral("-9999");
    fields[Declarations::AlarmMax] = QStringLiteral("9999");
    return ChannelRecord(DefaultChannelName(c), fields);
}

// Writes the whole file under a temporary name and publishes it with link(2),
// so that a full disk or a crash never leaves a partial set-up file behind:
// one would be kept as the operator's own at the next start and never
// repaired. Both names are created only where nothing stands (O_EXCL, no link
// followed): whatever another user put there, an operator's file or a planted
// link, is kept as it is.
FileOutcome WriteIfAbsent(const QString& path, const QStringList& records) {
    if (const QFileInfo entry(path); entry.exists() || entry.isSymLink())
        return {};
    QByteArray bytes;
    for (const QString& record : records)
        bytes += FixedText(record, SettingRecordLength).toLatin1();
    ReplaceOptions options{ReplaceOptions::Publish::IfAbsent, path + QStringLiteral(".part"), 0666, 0664};
    const auto failure = ReplaceFile(path, options, [&](QFile& file) -> std::optional<QString> {
        if (WriteAll(file, bytes))
            return std::nullopt;
        return file.errorString();
    });
    if (!failure)
        return {};
    using Step = ReplaceFailure::Step;
    const QString what =
        failure->step == Step::Write ? QStringLiteral("cannot write") : QStringLiteral("cannot create");
    const QString reason = failure->step == Step::Create && failure->error == EEXIST
                               ? QStringLiteral("created meanwhile")
                               : failure->reason;
    return FileOutcome::Failure(
        QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(failure->name), what, reason));
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
    for (int c = 1; c <= Declarations::ChannelCount; ++c)
        records << DefaultChannelRecord(c);
    return records;
}

FileOutcome InstallDefaultSetup(const QString& folder) {
    for (const QString& path : {SettingFolderPath(folder), DataFolderPath(folder)}) {
        if (FileOutcome made = EnsureFolder(path); !made)
            return made;
    }
    if (FileOutcome general =
            WriteIfAbsent(SettingFilePath(folder, GeneralParametersFile), DefaultGeneralRecords());
        !general)
        return general;
    if (FileOutcome channels =
            WriteIfAbsent(SettingFilePath(folder, ChannelParametersFile), DefaultChannelRecords());
        !channels)
        return channels;
    if (FileOutcome alarms =
            WriteIfAbsent(SettingFilePath(folder, AlarmParametersFile), DefaultAlarmRecords());
        !alarms)
        return alarms;
    return WriteIfAbsent(SettingFilePath(folder, InstrumentParametersFile), DefaultInstrumentRecords());
}

} // namespace tarvek
