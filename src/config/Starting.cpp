#include "config/Starting.h"

#include "config/AcquisitionStatus.h"
#include "config/GettingParameters.h"
#include "config/InstrumentParameters.h"
#include "config/SettingFiles.h"

namespace tarvek {

void FillStorageRateNames(Declarations::RateNames& names) {
    static const char* const rateNames[] = {"Off",        "30 seconds", "1 minute", "5 minutes", "10 minutes",
                                            "30 minutes", "1 hour",     "6 hours",  "12 hours",  "24 hours"};
    for (size_t k = 0; k < std::size(rateNames); ++k)
        names[k] = QString::fromLatin1(rateNames[k]);
}

QStringList StartProgram(Declarations& state) {
    QStringList failures;
    FillStorageRateNames(state.StorageRateName);
    if (const FileOutcome read = ReadGeneralParameters(state.AppFolder, state.SetUp); !read)
        failures << read.message;
    if (const FileOutcome read = ReadChannelParameters(state.AppFolder, state.SetUp); !read)
        failures << read.message;
    if (const FileOutcome read = ReadInstrumentParameters(state.AppFolder, state.SetUp); !read)
        failures << read.message;
    if (const FileOutcome read = ReadAcquisitionStatus(state.AppFolder); !read)
        failures << read.message;
    return failures;
}

std::array<PanelText, 3> SetStatusBar(int serialLine) {
    return {{{4, SerialLinePanelText(serialLine)}, {3, VersionText}, {5, QStringLiteral("  ")}}};
}

QString SerialLinePanelText(int serialLine) {
    return QStringLiteral("Com:") + (serialLine >= 0 ? QStringLiteral(" ") : QString()) +
           QString::number(serialLine);
}

} // namespace tarvek
