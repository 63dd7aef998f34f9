#include "common/Declarations.h"

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

} // namespace tarvek
