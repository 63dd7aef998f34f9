#include "acquisition/AcquisitionStatus.h"

#include "common/TextHelpers.h"
#include "config/SettingFiles.h"

FileOutcome WriteAcquisitionStatus(Declarations& d) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(d, AcquisitionStatusFile, file, RecordFile::Access::Write);
    if (outcome) {
        d.RecordBuffer = file.Read(1, &outcome);
        // The flag is one character in the record, whatever the variable holds.
        const QString flag = FixedText(d.AcquisitionFlag, 1);
        d.RecordBuffer = FixedText(d.RecordBuffer.mid(0, 21) + flag + d.RecordBuffer.mid(22, 21), 80);
    }
    if (outcome)
        outcome = file.Write(1, d.RecordBuffer);
    if (outcome)
        outcome = file.Sync();
    file.Close();
    return ReportFailure(outcome);
}
