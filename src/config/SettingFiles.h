#pragma once

#include "app/Declarations.h"
#include "common/RecordFile.h"

// Opens one of the 80-byte record files of settingfiles/, creating the folder
// and the file when they are missing. Sets FilePath to the file's path. Only
// the writers ask for Access::Write; a reader can read a write-protected file.
FileOutcome OpenSettingFile(Declarations& d, const QString& fileName, RecordFile& file,
                            RecordFile::Access access = RecordFile::Access::Read);

constexpr int SettingRecordLength = 80;
