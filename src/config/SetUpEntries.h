#pragma once

#include "common/Declarations.h"
#include "config/SetupChannels.h"

#include <QStringList>

#include <optional>

namespace tarvek {

// What the operator typed into the set-up boxes of Channels & Settings.
struct SetUpEntries {
    ChannelTexts gains, zeros; // index 0 = channel 1
    QString serialLine, storageRate;
};

// Load: the set-up files read into a copy of the set-up in use, the channels
// first (with the sensor types of the general values in use), then the
// general and the instrument parameters. The copy only when every read
// succeeds: a set-up that cannot be read must not replace the
// one in use, or during acquisition blank gains would turn every value into
// zero. Otherwise the failures, one per file.
struct LoadedSetUp {
    std::optional<Declarations::SetUpState> setUp;
    QStringList failures;
};
LoadedSetUp LoadSetUp(const QString& appFolder, const Declarations::SetUpState& inUse);

// Save: the channel file's gains and zeros, then the general file's serial
// line and storage rate (under `labels`, as last read); both are tried. The
// failures, one per file.
QStringList SaveSetUp(const QString& appFolder, const Declarations::TextTable& labels,
                      const SetUpEntries& entries);

} // namespace tarvek
