#include "config/SetupChannels.h"

#include "common/TextHelpers.h"
#include "config/GettingParameters.h"
#include "config/SettingFiles.h"

FileOutcome SaveChannelParameters(Declarations& d, const ChannelTexts& gains, const ChannelTexts& zeros) {
    RecordFile file(SettingRecordLength);
    FileOutcome outcome = OpenSettingFile(d, ChannelParametersFile, file, RecordFile::Access::Write);
    for (int c = 1; outcome && c <= Declarations::ChannelCount; ++c) {
        const qint64 record = c + ChannelRecordOffset;
        d.RecordBuffer = file.Read(record, &outcome);
        if (!outcome)
            break;
        const QString head = d.RecordBuffer.mid(0, 35);
        const QString tail = d.RecordBuffer.mid(55, 22);
        d.RecordBuffer = head + FixedText(gains[c - 1], 9) + u';' + FixedText(zeros[c - 1], 9) + u';' + tail +
                         RecordTerminator;
        outcome = file.Write(record, d.RecordBuffer);
    }
    if (outcome)
        outcome = file.Sync();
    file.Close();
    return ReportFailure(outcome);
}
