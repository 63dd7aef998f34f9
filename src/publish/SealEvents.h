#pragma once

#include "publish/EventFeed.h"

#include <QByteArrayView>
#include <QString>

#include <vector>

namespace tarvek {

struct SealLine;

// The whole lines of a seal file from line `firstLine` (from 1) of `file`
// ("mm-yyyy-Seal.txt"), each as the feed gives it: the line as it stands in
// `seal`, its times, and where it tells of something found or of a key lost
// (RaisesAlarm) a system alarm of kind `alarmKind`, RAISED, its text saying
// what. A line that is none (torn by a power cut, completed with blanks) is
// skipped and counted.
struct SealBytes {
    std::vector<FedEvent> lines;
    int skipped = 0;
};
SealBytes ParseSealBytes(QByteArrayView bytes, qint64 firstLine, const QString& file,
                         const QString& alarmKind);

// What an alarm line says, for the alarm's text: "CHANGED 12-2026-Data.txt
// record 3", "CUT 12-2026-Events.txt from record 40, 2 records", "REMOVED
// 12-2026-Data.txt", "CLOCKSTEP step=-0000003600000ms", "KEY LOST 1a2b...".
QString FindingText(const SealLine& line);

} // namespace tarvek
