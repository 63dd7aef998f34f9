#include "viewer/Channels.h"

#include "viewer/Limits.h"

#include <cerrno>

namespace tarvek {

ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems, QString* openProblem) {
    const ChannelSetUp setUp = ReadChannelSettings(settingFolder, LinkPolicy::Refuse);
    if (!setUp.Read() && setUp.errorNumber != ENOENT && openProblem)
        *openProblem = setUp.problem;
    for (const ChannelSettings& settings : setUp.channels)
        *problems += LimitProblems(settings);
    return setUp.channels;
}

std::vector<QString> GroupingUnits(const ChannelInfos& channels) {
    std::vector<QString> units;
    for (const ChannelInfo& info : channels)
        units.push_back(info.unitSet ? info.unit : QString());
    return units;
}

} // namespace tarvek
