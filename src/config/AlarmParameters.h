#pragma once

#include "common/Declarations.h"

#include <QStringList>

#include <array>

namespace tarvek {

// settingfiles/alarmparameters.txt: how the logger's alarms react, in the
// 80-byte records of the other set-up files (label 1..21, value 22..77,
// "*" CR LF). The logger only reads it, at start and at Load; the default
// set-up writes it where absent.
//   record 1       title
//   record 2       no value polls: a channel's gap this many polls running,
//                  while the instrument answers, raises NO VALUE (3)
//   record 3       no answer polls: the instrument silent this many polls
//                  running raises NO ANSWER (3)
//   records 4..11  deadband of channel 1..8, in the channel's unit: a raised
//                  HIGH or LOW clears only once the value is this far back
//                  inside (0)
//   records 12..19 on-delay of channel 1..8: polls running outside a limit
//                  before HIGH or LOW is raised (1: the first poll)
constexpr int NoValuePollsRecord = 2;
constexpr int NoAnswerPollsRecord = 3;
constexpr int FirstDeadbandRecord = 4;
constexpr int FirstOnDelayRecord = 12;
constexpr int AlarmRecordCount = 19;

struct AlarmParameters {
    int noValuePolls = 3;
    int noAnswerPolls = 3;
    std::array<double, Declarations::ChannelCount> deadband{}; // index 0 = channel 1
    std::array<int, Declarations::ChannelCount> onDelay{1, 1, 1, 1, 1, 1, 1, 1};
    bool operator==(const AlarmParameters&) const = default;
};

// The parameters and what could not be used. A missing file gives the
// defaults and no problem; a file that cannot be read (a link, a FIFO, no
// permission) gives the defaults and its reason; a blank value is its
// default; a value that does not parse (a deadband that is no plain
// non-negative number, a count that is no whole number from 1 to 999) is
// named and its default used.
struct AlarmParametersRead {
    AlarmParameters parameters;
    QStringList problems;
};
AlarmParametersRead ReadAlarmParameters(const QString& appFolder);
// The same rules over the file's bytes.
AlarmParametersRead ParseAlarmParameters(const QByteArray& bytes, const QString& path);

// The default file, record by record.
QStringList DefaultAlarmRecords();

} // namespace tarvek
