#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"
#include "config/AlarmParameters.h"
#include "config/ChannelSettings.h"
#include "data/AlarmFold.h"
#include "data/EventRecord.h"

#include <array>
#include <optional>
#include <vector>

namespace tarvek {

// What the alarms watch of one channel, from the set-up in use.
struct ChannelAlarmSetUp {
    bool active = false; // the set-up marks the channel active
    LimitField minimum, maximum;
    ChannelLimits limits; // LimitsOf: a limit not in use raises nothing
    QString description;
    QString unit;
};
struct AlarmSetUp {
    std::array<ChannelAlarmSetUp, Declarations::ChannelCount> channels{}; // index 0 = channel 1
    AlarmParameters parameters;
};
AlarmSetUp AlarmSetUpOf(const Declarations::SetUpState& setUp, const AlarmParameters& parameters);

// What one scan tells the alarms: its stamp, whether the instrument answered,
// the value texts of channels 1..8 (index 0 = channel 1), and the outcome of
// its store when one was due.
struct AlarmScan {
    QString date, time;
    bool answered = false;
    std::array<QString, Declarations::ChannelCount> values{};
    std::optional<FileOutcome> store;
};

// The alarms of the logger, as rules only: fed with each scan and each set-up
// taken in use, it answers the events to record (user left blank).
//  - HIGH above the maximum, LOW below the minimum (ChannelLimits), raised once the value is outside for the
//  channel's on-delay in polls
//    running; cleared once it is back inside by the deadband. A gap (" No
//    Data ", " ======= ") neither raises nor clears them, nor counts towards
//    the on-delay or breaks it.
//  - NO VALUE after the no value polls of gaps running while the instrument
//    answers; cleared at the first usable value.
//  - NO ANSWER after the no answer polls the instrument left unanswered
//    running (its silent polls count as nobody's gaps: one alarm, not eight);
//    cleared at the next answer.
//  - NOT STORED at a failed store, cleared at the next successful one.
// In one scan, clears come before raises (a change of side: LOW cleared,
// then HIGH raised).
class AlarmMachine {
  public:
    explicit AlarmMachine(const AlarmSetUp& setUp = {});

    // Takes the alarms active in the logs as raised, without a record: after
    // a restart an alarm still standing is not raised again.
    void Restore(const AlarmFold& fold);
    // The counts of polls start again (a Start: its first poll decides).
    void Restart();
    std::vector<Event> Scan(const AlarmScan& scan);
    // Takes a new set-up in use, stamped `date`/`time`; an alarm it no longer
    // watches (its limit removed, its channel inactive) is cleared.
    std::vector<Event> TakeSetUp(const AlarmSetUp& setUp, const QString& date, const QString& time);

    const AlarmSetUp& SetUp() const { return setUp_; }

  private:
    struct AlarmCount {
        bool raised = false;
        int polls = 0; // running: outside, gaps, or silent
    };
    struct ChannelCounts {
        AlarmCount high, low, noValue;
    };
    // The count of an alarm; none for a kind or channel that has none.
    AlarmCount* Find(const QString& kind, int channel);
    void CountLimit(AlarmCount& count, bool outside, bool back, const QString& kind, int c,
                    const QString& value, const LimitField& limit, std::vector<Event>& clears,
                    std::vector<Event>& raises) const;

    AlarmSetUp setUp_;
    std::array<ChannelCounts, Declarations::ChannelCount> channels_{};
    AlarmCount noAnswer_, notStored_;
    QString date_, time_; // of the scan or set-up being handled
};

// The desktop's words for a RAISED event: "TARVEK: " and its AlarmText, then
// "10.700 bar > 10 at 10:15:30" (PlainNumber), the gap of a NO VALUE or the
// text of the logger's own alarm.
struct AlarmNotice {
    QString summary, body;
};
AlarmNotice NoticeOf(const Event& raised, const QString& unit);

} // namespace tarvek
