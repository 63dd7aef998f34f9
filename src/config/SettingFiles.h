#pragma once

#include "common/RecordFile.h"
#include "config/SettingRecords.h"

#include <functional>
#include <vector>

namespace tarvek {

// Opens one of the 80-byte record files of the settingfiles folder of
// `appFolder`, creating the folder and the file when they are missing. Only
// the writers ask for Access::Write; a reader can read a write-protected file.
FileOutcome OpenSettingFile(const QString& appFolder, const QString& fileName, RecordFile& file,
                            RecordFile::Access access = RecordFile::Access::Read);

// Rewrites records of the setting file `fileName`: each record in `records`
// is read and replaced by what `rewrite` makes of it, then the file is synced
// to the disk. Success only when every record is written and synced; a
// failure is reported on stderr and returned.
using RecordRewrite = std::function<QString(int record, const QString& old)>;
FileOutcome RewriteSettingRecords(const QString& appFolder, const QString& fileName,
                                  const std::vector<int>& records, const RecordRewrite& rewrite);

} // namespace tarvek
