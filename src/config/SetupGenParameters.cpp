#include "config/SetupGenParameters.h"

#include "common/TextHelpers.h"
#include "config/GettingParameters.h"
#include "config/SettingFiles.h"

namespace {

QString GeneralRecord(const QString& label, const QString& entryText) {
    return (label + entryText.left(1) + QString(78, u' ')).left(77) + RecordTerminator;
}

} // namespace

FileOutcome SaveGeneralParameters(Declarations& d, const QString& serialLineText,
                                  const QString& storageRateText) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(d, GeneralParametersFile, file, RecordFile::Access::Write);
    if (outcome) {
        d.RecordBuffer = GeneralRecord(d.GeneralLabel[SerialLineRecord], serialLineText);
        outcome = file.Write(SerialLineRecord, d.RecordBuffer);
    }
    if (outcome) {
        d.RecordBuffer = GeneralRecord(d.GeneralLabel[StorageRateRecord], storageRateText);
        outcome = file.Write(StorageRateRecord, d.RecordBuffer);
    }
    if (outcome)
        outcome = file.Sync();
    file.Close();
    return ReportFailure(outcome);
}

QString StorageRateCaption(const Declarations& d, const QString& text) {
    const long long k = RoundHalfEven(LeadingNumber(text));
    if (k < 0 || k >= static_cast<long long>(d.StorageRateName.size()))
        return {};
    return d.StorageRateName[static_cast<size_t>(k)];
}
