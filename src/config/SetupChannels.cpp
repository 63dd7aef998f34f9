#include "config/SetupChannels.h"

#include "config/SettingFiles.h"

namespace tarvek {

FileOutcome SaveChannelParameters(const QString& appFolder, const ChannelTexts& gains,
                                  const ChannelTexts& zeros) {
    std::vector<int> records;
    for (int c = 1; c <= Declarations::ChannelCount; ++c)
        records.push_back(c + ChannelRecordOffset);
    return RewriteSettingRecords(
        appFolder, ChannelParametersFile, records, [&](int record, const QString& old) {
            const int c = record - ChannelRecordOffset;
            return WithChannelField(WithChannelField(old, Declarations::Gain, gains[c - 1]),
                                    Declarations::Zero, zeros[c - 1]);
        });
}

} // namespace tarvek
