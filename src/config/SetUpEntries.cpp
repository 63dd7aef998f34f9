#include "config/SetUpEntries.h"

#include "config/GettingParameters.h"
#include "config/InstrumentParameters.h"
#include "config/SetupGenParameters.h"

namespace tarvek {

LoadedSetUp LoadSetUp(const QString& appFolder, const Declarations::SetUpState& inUse) {
    Declarations::SetUpState read = inUse;
    LoadedSetUp loaded;
    if (const FileOutcome outcome = ReadChannelParameters(appFolder, read); !outcome)
        loaded.failures << outcome.message;
    if (const FileOutcome outcome = ReadGeneralParameters(appFolder, read); !outcome)
        loaded.failures << outcome.message;
    if (const FileOutcome outcome = ReadInstrumentParameters(appFolder, read); !outcome)
        loaded.failures << outcome.message;
    if (loaded.failures.isEmpty())
        loaded.setUp = read;
    return loaded;
}

QStringList SaveSetUp(const QString& appFolder, const Declarations::TextTable& labels,
                      const SetUpEntries& entries) {
    QStringList failures;
    if (const FileOutcome saved = SaveChannelParameters(appFolder, entries.gains, entries.zeros); !saved)
        failures << saved.message;
    if (const FileOutcome saved =
            SaveGeneralParameters(appFolder, labels, entries.serialLine, entries.storageRate);
        !saved)
        failures << saved.message;
    return failures;
}

} // namespace tarvek
