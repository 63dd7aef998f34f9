#include "config/SettingFiles.h"

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

} // namespace tarvek
