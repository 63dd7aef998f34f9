#include "config/SetupGenParameters.h"

#include "common/TextHelpers.h"
#include "config/SettingFiles.h"

namespace tarvek {

FileOutcome SaveGeneralParameters(const QString& appFolder, const Declarations::TextTable& labels,
                                  const QString& serialLineText, const QString& storageRateText) {
    return RewriteSettingRecords(appFolder, GeneralParametersFile, {SerialLineRecord, StorageRateRecord},
                                 [&](int record, const QString&) {
                                     const QString& text =
                                         record == SerialLineRecord ? serialLineText : storageRateText;
                                     return GeneralRecord(labels[record], text.left(1));
                                 });
}

QString StorageRateCaption(const Declarations::RateNames& names, const QString& text) {
    const long long k = RoundHalfEven(LeadingNumber(text));
    if (k < 0 || k >= static_cast<long long>(names.size()))
        return {};
    return names[static_cast<size_t>(k)];
}

} // namespace tarvek
