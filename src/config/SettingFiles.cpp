#include "config/SettingFiles.h"

FileOutcome OpenSettingFile(Declarations& d, const QString& fileName, RecordFile& file,
                            RecordFile::Access access) {
    d.FilePath = SettingFilePath(d, fileName);
    if (FileOutcome folder = EnsureFolder(SettingFolderPath(d)); !folder)
        return folder;
    return file.Open(d.FilePath, access);
}
