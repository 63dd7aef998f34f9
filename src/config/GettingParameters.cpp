#include "config/GettingParameters.h"

#include "common/TextHelpers.h"
#include "config/SettingFiles.h"

int DecodeSerialLine(const QString& value) {
    // Only the first character counts: "12" is line 1, not 12.
    const double n = LeadingNumber(value.left(1));
    return (n < 1 || n > 8) ? 1 : static_cast<int>(n);
}

int DecodeStorageRate(const QString& value) {
    const double n = LeadingNumber(value.left(1));
    return (n < 0 || n > 9) ? 0 : static_cast<int>(n);
}

FileOutcome ReadGeneralParameters(Declarations& d) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(d, GeneralParametersFile, file);
    for (int n = 1; n <= GeneralRecordCount; ++n) {
        d.RecordBuffer = file.Read(n, outcome ? &outcome : nullptr);
        d.GeneralLabel[n] = d.RecordBuffer.mid(0, 21);
        d.GeneralValue[n] = d.RecordBuffer.mid(21, 56);
    }
    file.Close();
    d.SerialLine = DecodeSerialLine(d.GeneralValue[SerialLineRecord]);
    d.StorageRate = DecodeStorageRate(d.GeneralValue[StorageRateRecord]);
    return ReportFailure(outcome);
}

FileOutcome ReadChannelParameters(Declarations& d) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(d, ChannelParametersFile, file);
    struct Field {
        int column, first, width; // positions counted from 1
    };
    static constexpr Field fields[] = {
        {Declarations::Description, 6, 22}, {Declarations::Decimals, 29, 1}, {Declarations::Unit, 31, 4},
        {Declarations::Gain, 36, 9},        {Declarations::Zero, 46, 9},     {Declarations::Active, 56, 1},
        {Declarations::AlarmMin, 58, 9},    {Declarations::AlarmMax, 68, 9},
    };
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const int g = (c - 1) / 8;
        d.RecordBuffer = file.Read(c + ChannelRecordOffset, outcome ? &outcome : nullptr);
        auto& row = d.ChannelParam[c];
        for (const Field& f : fields)
            row[f.column] = TrimBlanks(d.RecordBuffer.mid(f.first - 1, f.width));
        row[Declarations::SensorType] = TrimBlanks(d.GeneralValue[SensorTypeRecord + g].left(1));
    }
    file.Close();
    return ReportFailure(outcome);
}
