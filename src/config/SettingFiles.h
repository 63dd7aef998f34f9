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

// A set-up file that only the logger reads, at start and at each Load:
// opened as any name in the shared folder is (no link followed, never
// blocking on a FIFO) and never created. Its first `records` records; a
// missing file gives none and no problem, one that cannot be opened or read
// gives none and says why ("<path>: cannot open (<reason>)").
struct SettingFileBytes {
    QByteArray bytes;
    QString problem;
};
SettingFileBytes ReadSettingFileBytes(const QString& appFolder, const QString& fileName, int records);
// The value (22..77) of record `record` of such bytes, blanks trimmed; empty
// past their end.
QString SettingValueOf(const QByteArray& bytes, int record);

} // namespace tarvek
