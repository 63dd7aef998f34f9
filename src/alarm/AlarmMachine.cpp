#include "alarm/AlarmMachine.h"

#include "common/TextHelpers.h"
#include "config/SettingRecords.h"
#include "data/DataRecord.h"
#include "data/NumberText.h"

namespace tarvek {

AlarmSetUp AlarmSetUpOf(const Declarations::SetUpState& setUp, const AlarmParameters& parameters) {
    AlarmSetUp alarms;
    alarms.parameters = parameters;
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const auto& row = setUp.ChannelParam[c];
        const LimitField minimum = ParseLimit(row[Declarations::AlarmMin]),
                         maximum = ParseLimit(row[Declarations::AlarmMax]);
        alarms.channels[c - 1] = {row[Declarations::Active].trimmed() == u"1",
                                  minimum,
                                  maximum,
                                  LimitsOf(minimum, maximum, c),
                                  row[Declarations::Description].trimmed(),
                                  row[Declarations::Unit].trimmed()};
    }
    return alarms;
}

AlarmMachine::AlarmMachine(const AlarmSetUp& setUp) : setUp_(setUp) {}

AlarmMachine::AlarmCount* AlarmMachine::Find(const QString& kind, int channel) {
    if (channel == 0)
        return kind == EventKinds::NoAnswer    ? &noAnswer_
               : kind == EventKinds::NotStored ? &notStored_
                                               : nullptr;
    if (channel < 1 || channel > Declarations::ChannelCount)
        return nullptr;
    ChannelCounts& w = channels_[channel - 1];
    return kind == EventKinds::High      ? &w.high
           : kind == EventKinds::Low     ? &w.low
           : kind == EventKinds::NoValue ? &w.noValue
                                         : nullptr;
}

void AlarmMachine::Restore(const AlarmFold& fold) {
    for (const CurrentAlarm& alarm : fold.alarms)
        if (AlarmCount* count = Find(alarm.kind, alarm.channel))
            count->raised = alarm.Active();
}

void AlarmMachine::Restart() {
    for (ChannelCounts& w : channels_)
        w.high.polls = w.low.polls = w.noValue.polls = 0;
    noAnswer_.polls = notStored_.polls = 0;
}

namespace {

Event Made(const QString& date, const QString& time, const QString& kind, int channel, const QString& name,
           const QString& value = {}, const QString& limit = {}, const QString& text = {}) {
    return Event{date, time, kind, channel, name, value, limit, QString(), text};
}

} // namespace

void AlarmMachine::CountLimit(AlarmCount& count, bool outside, bool back, const QString& kind, int c,
                              const QString& value, const LimitField& limit, std::vector<Event>& clears,
                              std::vector<Event>& raises) const {
    count.polls = outside ? count.polls + 1 : 0;
    const QString& text = setUp_.channels[c - 1].description;
    if (count.raised && back) {
        count.raised = false;
        clears.push_back(Made(date_, time_, kind, c, EventNames::Cleared, value, limit.text, text));
    } else if (!count.raised && count.polls >= setUp_.parameters.onDelay[c - 1]) {
        count.raised = true;
        raises.push_back(Made(date_, time_, kind, c, EventNames::Raised, value, limit.text, text));
    }
}

std::vector<Event> AlarmMachine::Scan(const AlarmScan& scan) {
    date_ = scan.date;
    time_ = scan.time;
    const AlarmParameters& p = setUp_.parameters;
    std::vector<Event> clears, raises;
    noAnswer_.polls = scan.answered ? 0 : noAnswer_.polls + 1;
    if (noAnswer_.raised && scan.answered) {
        noAnswer_.raised = false;
        clears.push_back(Made(date_, time_, EventKinds::NoAnswer, 0, EventNames::Cleared));
    } else if (!noAnswer_.raised && noAnswer_.polls >= p.noAnswerPolls) {
        noAnswer_.raised = true;
        raises.push_back(Made(date_, time_, EventKinds::NoAnswer, 0, EventNames::Raised, {}, {},
                              QStringLiteral("no answer for %1 polls").arg(noAnswer_.polls)));
    }
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const ChannelAlarmSetUp& channel = setUp_.channels[c - 1];
        ChannelCounts& w = channels_[c - 1];
        const QString& value = scan.values[c - 1];
        if (!channel.active)
            continue;
        // As the value is stored: a text that is no value text is a gap too.
        const std::optional<StoredValue> stored =
            value.size() == ValueWidth ? ParseValueText(value.toLatin1().constData()) : std::nullopt;
        if (!stored || stored->IsGap()) {
            // A silent instrument is one alarm of its own, not a gap on every channel.
            if (!scan.answered)
                continue;
            if (!w.noValue.raised && ++w.noValue.polls >= p.noValuePolls) {
                w.noValue.raised = true;
                raises.push_back(Made(date_, time_, EventKinds::NoValue, c, EventNames::Raised, value, {},
                                      channel.description));
            }
            continue;
        }
        w.noValue.polls = 0;
        if (w.noValue.raised) {
            w.noValue.raised = false;
            clears.push_back(Made(date_, time_, EventKinds::NoValue, c, EventNames::Cleared, value, {},
                                  channel.description));
        }
        const double x = stored->Value();
        const double deadband = p.deadband[c - 1];
        const ChannelLimits& limits = channel.limits;
        if (limits.below)
            CountLimit(w.low, limits.Below(x), !limits.Below(x, deadband), EventKinds::Low, c, value,
                       channel.minimum, clears, raises);
        if (limits.above)
            CountLimit(w.high, limits.Above(x), !limits.Above(x, deadband), EventKinds::High, c, value,
                       channel.maximum, clears, raises);
    }
    if (scan.store) {
        if (notStored_.raised && scan.store->ok) {
            notStored_.raised = false;
            clears.push_back(Made(date_, time_, EventKinds::NotStored, 0, EventNames::Cleared));
        } else if (!notStored_.raised && !scan.store->ok) {
            notStored_.raised = true;
            raises.push_back(Made(date_, time_, EventKinds::NotStored, 0, EventNames::Raised, {}, {},
                                  scan.store->message));
        }
    }
    clears.insert(clears.end(), raises.begin(), raises.end());
    return clears;
}

std::vector<Event> AlarmMachine::TakeSetUp(const AlarmSetUp& setUp, const QString& date,
                                           const QString& time) {
    setUp_ = setUp;
    std::vector<Event> events;
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const ChannelAlarmSetUp& channel = setUp_.channels[c - 1];
        ChannelCounts& w = channels_[c - 1];
        const auto drop = [&](AlarmCount& count, const QString& kind, bool watched, const QString& limit) {
            if (watched)
                return;
            count.polls = 0;
            if (!count.raised)
                return;
            count.raised = false;
            events.push_back(Made(date, time, kind, c, EventNames::Cleared, {}, limit,
                                  QStringLiteral("no longer watched by the set-up")));
        };
        drop(w.low, EventKinds::Low, channel.active && channel.limits.below, channel.minimum.text);
        drop(w.high, EventKinds::High, channel.active && channel.limits.above, channel.maximum.text);
        drop(w.noValue, EventKinds::NoValue, channel.active, {});
    }
    return events;
}

AlarmNotice NoticeOf(const Event& raised, const QString& unit) {
    // A channel's alarm holds the channel's description as its text.
    const QString name = raised.text.isEmpty() ? DefaultChannelName(raised.channel) : raised.text;
    const QString summary = QStringLiteral("TARVEK: ") + AlarmText(raised.kind, name);
    const QString at = QStringLiteral(" at ") + raised.time;
    const bool high = raised.kind == EventKinds::High;
    if (!high && raised.kind != EventKinds::Low)
        return {summary, (raised.kind == EventKinds::NoValue ? TrimBlanks(raised.value) : raised.text) + at};
    const auto number = [](const QString& text) {
        return QString::fromLatin1(PlainNumber(text).value_or(""));
    };
    return {summary, number(raised.value) + (unit.isEmpty() ? QString() : u' ' + unit) +
                         (high ? QStringLiteral(" > ") : QStringLiteral(" < ")) + number(raised.limit) + at};
}

} // namespace tarvek
