#include "config/SettingFiles.h"

#include "common/SharedFile.h"
#include "common/TextHelpers.h"

#include <QDir>
#include <QFile>

#include <cerrno>

namespace tarvek {

FileOutcome OpenSettingFile(const QString& appFolder, const QString& fileName, RecordFile& file,
                            RecordFile::Access access) {
    if (FileOutcome folder = EnsureFolder(SettingFolderPath(appFolder)); !folder)
        return folder;
    return file.Open(SettingFilePath(appFolder, fileName), access);
}

FileOutcome RewriteSettingRecords(const QString& appFolder, const QString& fileName,
                                  const std::vector<int>& records, const RecordRewrite& rewrite) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(appFolder, fileName, file, RecordFile::Access::Write);
    for (auto r = records.begin(); outcome && r != records.end(); ++r) {
        const QString old = file.Read(*r, &outcome);
        if (outcome)
            outcome = file.Write(*r, rewrite(*r, old));
    }
    if (outcome)
        outcome = file.Sync();
    file.Close();
    return ReportFailure(outcome);
}

SettingFileBytes ReadSettingFileBytes(const QString& appFolder, const QString& fileName, int records) {
    const QString path = SettingFilePath(appFolder, fileName);
    const SharedFile shared = OpenSharedFile(path, SharedAccess::Read);
    if (!shared) {
        if (shared.error == ENOENT)
            return {};
        return {{},
                QStringLiteral("%1: cannot open (%2)").arg(QDir::toNativeSeparators(path), shared.reason)};
    }
    QFile file;
    file.open(shared.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // Nothing past the last record is looked at.
    SettingFileBytes read{file.read(qint64(records) * SettingRecordLength), {}};
    if (file.error() != QFileDevice::NoError)
        return {
            {},
            QStringLiteral("%1: cannot read (%2)").arg(QDir::toNativeSeparators(path), file.errorString())};
    return read;
}

QString SettingValueOf(const QByteArray& bytes, int record) {
    return TrimBlanks(GeneralValueOf(
        QString::fromLatin1(bytes.mid((record - 1) * SettingRecordLength, SettingRecordLength))));
}

} // namespace tarvek
