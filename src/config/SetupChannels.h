#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

#include <array>

namespace tarvek {

using ChannelTexts = std::array<QString, Declarations::ChannelCount>; // index 0 = channel 1

// Rewrites the gain and zero fields (positions 36..55) and the terminator of
// records 11..18 of the channel file from the gain and offset boxes: each text
// cut or blank-padded to nine characters and followed by ";". Positions 1..35
// and 56..77 keep what the file held. The file is synced to the disk before
// success is returned. ChannelParam does not change.
FileOutcome SaveChannelParameters(const QString& appFolder, const ChannelTexts& gains,
                                  const ChannelTexts& zeros);

} // namespace tarvek
