#include "config/AcquisitionStatus.h"

#include "common/TextHelpers.h"
#include "config/SettingFiles.h"
#include "config/SettingRecords.h"

namespace tarvek {

FileOutcome ReadAcquisitionStatus(const QString& appFolder) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(appFolder, AcquisitionStatusFile, file);
    file.Read(1, outcome ? &outcome : nullptr);
    file.Close();
    return ReportFailure(outcome);
}

FileOutcome WriteAcquisitionStatus(const QString& appFolder, const QString& acquisitionFlag) {
    // The flag is one character in the record, whatever the variable holds.
    const QString flag = FixedText(acquisitionFlag, 1);
    return RewriteSettingRecords(appFolder, AcquisitionStatusFile, {1}, [&](int, const QString& old) {
        return FixedText(old.mid(0, StatusFlagPosition - 1) + flag +
                             old.mid(StatusFlagPosition, StatusFieldWidth),
                         SettingRecordLength);
    });
}

} // namespace tarvek
