#pragma once

#include "app/Declarations.h"
#include "common/RecordFile.h"

// Opens one of the 80-byte record files of settingfiles/, creating the folder
// and the file when they are missing. Sets FilePath to the file's path.
FileOutcome OpenSettingFile(Declarations& d, const QString& fileName, RecordFile& file);

constexpr int SettingRecordLength = 80;
