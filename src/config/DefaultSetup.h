#pragma once

#include "common/RecordFile.h"

namespace tarvek {

// Puts a working set-up into `folder` (the folder of the executable), only
// where absent: settingfiles/generalparameters.txt (serial line 1, storage
// rate 1 = every 30 seconds, sensor type 0), settingfiles/channelsparameters.txt
// (channels Ch.1..Ch.8 with gain 1 and zero 0), settingfiles/alarmparameters.txt
// (the default alarm set-up), settingfiles/instrumentparameters.txt (the
// instrument's own protocol) and an empty datafiles/ folder.
// An operator's existing files are never touched.
FileOutcome InstallDefaultSetup(const QString& folder);

// The default files' contents, record by record (80 characters each).
QStringList DefaultGeneralRecords();
QStringList DefaultChannelRecords();

} // namespace tarvek
