#include "config/GettingParameters.h"

#include "common/TextHelpers.h"
#include "config/SettingFiles.h"

namespace tarvek {

int DecodeSerialLine(const QString& value) {
    // Only the first character counts: "12" is line 1, not 12.
    const double n = LeadingNumber(value.left(1));
    return (n < FirstSerialLine || n > LastSerialLine) ? FirstSerialLine : static_cast<int>(n);
}

int DecodeStorageRate(const QString& value) {
    const double n = LeadingNumber(value.left(1));
    return (n < FirstStorageRate || n > LastStorageRate) ? FirstStorageRate : static_cast<int>(n);
}

FileOutcome ReadGeneralParameters(const QString& appFolder, Declarations::SetUpState& setUp) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(appFolder, GeneralParametersFile, file);
    for (int n = 1; n <= GeneralRecordCount; ++n) {
        const QString record = file.Read(n, outcome ? &outcome : nullptr);
        setUp.GeneralLabel[n] = GeneralLabelOf(record);
        setUp.GeneralValue[n] = GeneralValueOf(record);
    }
    file.Close();
    setUp.SerialLine = DecodeSerialLine(setUp.GeneralValue[SerialLineRecord]);
    setUp.StorageRate = DecodeStorageRate(setUp.GeneralValue[StorageRateRecord]);
    return ReportFailure(outcome);
}

FileOutcome ReadChannelParameters(const QString& appFolder, Declarations::SetUpState& setUp) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(appFolder, ChannelParametersFile, file);
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const QString record = file.Read(c + ChannelRecordOffset, outcome ? &outcome : nullptr);
        auto& row = setUp.ChannelParam[c];
        for (const ChannelColumn& column : ChannelColumns)
            row[column.field] = ChannelFieldOf(record, column.field);
        // Sensor types come eight channels to a general record, from record 21 on.
        const int group = (c - 1) / 8;
        row[Declarations::SensorType] = TrimBlanks(setUp.GeneralValue[SensorTypeRecord + group].left(1));
    }
    file.Close();
    return ReportFailure(outcome);
}

} // namespace tarvek
