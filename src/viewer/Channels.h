#pragma once

#include "config/ChannelSettings.h"

#include <QStringList>

#include <array>
#include <vector>

namespace tarvek {

// A channel as the chart, the statistics and the CSV header show it: its
// set-up, and the alarm limits drawn.
using ChannelInfo = ChannelSettings;
using ChannelInfos = std::array<ChannelInfo, ChannelCount>;

// The channels of `settingFolder`'s channel parameters file
// (ReadChannelSettings; a link there is refused). Unusable limits go to
// `problems`, a file that cannot be read (other than a missing one) to
// `openProblem`.
ChannelInfos ReadChannelInfos(const QString& settingFolder, QStringList* problems,
                              QString* openProblem = nullptr);
// The units as the chart groups them: empty where the set-up names none.
std::vector<QString> GroupingUnits(const ChannelInfos& channels);

} // namespace tarvek
