#include "viewer/Channels.h"

#include "viewer/Limits.h"

#include <cerrno>

namespace tarvek {

ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems, QString* openProblem) {
    const ChannelSetUp setUp = ReadChannelSettings(settingFolder, LinkPolicy::Refuse);
    if (!setUp.Read() && setUp.error != ENOENT && openProblem)
        *openProblem = setUp.failure;
    ChannelInfos infos;
    for (int k = 0; k < ChannelCount; ++k) {
        const ChannelSettings& settings = setUp.channels[k];
        infos[k] = {settings, ParseLimits(settings.minimum, settings.maximum, settings.Heading(), problems)};
    }
    return infos;
}

std::vector<QString> GroupingUnits(const ChannelInfos& channels) {
    std::vector<QString> units;
    for (const ChannelInfo& info : channels)
        units.push_back(info.unitSet ? info.unit : QString());
    return units;
}

} // namespace tarvek
