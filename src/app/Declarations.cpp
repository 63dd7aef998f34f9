#include "app/Declarations.h"

QString SettingFolderPath(const Declarations& d) {
    return d.AppFolder + QStringLiteral("/settingfiles");
}

QString DataFolderPath(const Declarations& d) {
    return d.AppFolder + QStringLiteral("/datafiles");
}

QString SettingFilePath(const Declarations& d, const QString& fileName) {
    return SettingFolderPath(d) + u'/' + fileName;
}
