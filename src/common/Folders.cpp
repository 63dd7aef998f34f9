#include "common/Folders.h"

#include <QDir>

namespace tarvek {

QString SettingFolderPath(const QString& appFolder) {
    return appFolder + u'/' + SettingFolderName;
}

QString DataFolderPath(const QString& appFolder) {
    return appFolder + u'/' + DataFolderName;
}

QString SettingFilePath(const QString& appFolder, const QString& fileName) {
    return SettingFolderPath(appFolder) + u'/' + fileName;
}

QString SettingFolderBesideData(const QString& dataFolder) {
    return dataFolder + QStringLiteral("/../") + SettingFolderName;
}

QString SealFolderBesideData(const QString& dataFolder) {
    return QDir::cleanPath(dataFolder + QStringLiteral("/../") + SealFolderName);
}

} // namespace tarvek
