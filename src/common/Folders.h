#pragma once

#include <QString>

namespace tarvek {

// The program's folders and files, beside the executable in `appFolder`.
inline const QString SettingFolderName = QStringLiteral("settingfiles");
inline const QString DataFolderName = QStringLiteral("datafiles");
inline const QString GeneralParametersFile = QStringLiteral("generalparameters.txt");
inline const QString ChannelParametersFile = QStringLiteral("channelsparameters.txt");
inline const QString AcquisitionStatusFile = QStringLiteral("acquisitionstatus.txt");
// Beside the logger's own set-up: how its alarms react, what its line speaks.
inline const QString AlarmParametersFile = QStringLiteral("alarmparameters.txt");
inline const QString InstrumentParametersFile = QStringLiteral("instrumentparameters.txt");

QString SettingFolderPath(const QString& appFolder);
QString DataFolderPath(const QString& appFolder);
QString SettingFilePath(const QString& appFolder, const QString& fileName);
// The settingfiles folder beside the data folder `dataFolder`, as the
// programs reading a data folder find the set-up: "<dataFolder>/../settingfiles".
QString SettingFolderBesideData(const QString& dataFolder);
// The sealer's folder beside it, where the publisher and the viewer look:
// "<dataFolder>/../seals", cleaned.
inline const QString SealFolderName = QStringLiteral("seals");
QString SealFolderBesideData(const QString& dataFolder);

} // namespace tarvek
