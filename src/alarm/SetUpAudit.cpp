#include "alarm/SetUpAudit.h"

#include "config/ChannelSettings.h"
#include "config/InstrumentParameters.h"
#include "config/SettingRecords.h"

#include <algorithm>

namespace tarvek {

namespace {

// A blank field, as the records write it.
const QString Blank = QStringLiteral("(blank)");
const QString Arrow = QStringLiteral(" -> ");

QString Shown(const QString& value) {
    return value.isEmpty() ? Blank : value;
}

QString Taken(const QString& text) {
    return text == Blank ? QString() : text;
}

constexpr std::pair<Declarations::ChannelField, const char*> ChannelFields[] = {
    {Declarations::Description, "description"},
    {Declarations::Decimals, "decimals"},
    {Declarations::Unit, "unit"},
    {Declarations::Gain, "gain"},
    {Declarations::Zero, "zero"},
    {Declarations::Active, "active"},
    {Declarations::AlarmMin, "minimum"},
    {Declarations::AlarmMax, "maximum"},
};

// The protocol in use, and for Modbus RTU (or `all`) the records of the
// line's and the channels' set-up as they stand, under their labels ("bit
// rate", "Ch.3 register").
void AddInstrumentFields(std::vector<SetUpField>& fields, const QStringList& values, bool all) {
    const InstrumentSetUp setUp = DecodeInstrumentSetUp(values);
    const int last = all || setUp.protocol == Protocol::ModbusRtu ? InstrumentRecordCount : ProtocolRecord;
    for (int r = ProtocolRecord; r <= last; ++r) {
        QString name = InstrumentLabel(r);
        if (r < FirstSourceRecord)
            name[0] = name[0].toLower();
        const int channel = r < FirstSourceRecord ? 0 : (r - FirstSourceRecord) / SourceFieldCount + 1;
        SetUpField field{
            name, channel, r == ProtocolRecord ? ProtocolName(setUp.protocol) : values.value(r - 1), {}};
        for (const InstrumentProblem& problem : setUp.problems)
            if (problem.record == r)
                field.unusable = problem.text;
        fields.push_back(field);
    }
}

} // namespace

std::vector<SetUpField> SetUpFieldsOf(const Declarations::SetUpState& setUp, const AlarmParameters& alarms) {
    std::vector<SetUpField> fields{
        {QStringLiteral("serial line"), 0, QString::number(setUp.SerialLine), {}},
        {QStringLiteral("storage rate"), 0, QString::number(setUp.StorageRate), {}}};
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        const QString channel = DefaultChannelName(c) + u' ';
        const auto& row = setUp.ChannelParam[c];
        const QString pair =
            LimitsOf(ParseLimit(row[Declarations::AlarmMin]), ParseLimit(row[Declarations::AlarmMax]), c)
                .unusable;
        for (const auto& [field, name] : ChannelFields) {
            SetUpField taken{channel + QLatin1String(name), c, row[field].trimmed(), {}};
            const bool minimum = field == Declarations::AlarmMin;
            taken.limit = minimum || field == Declarations::AlarmMax;
            if (taken.limit)
                taken.unusable =
                    ParseLimit(taken.value).kind == LimitField::Kind::Unreadable
                        ? QStringLiteral("%1 \"%2\" is no number: no %3 alarm")
                              .arg(taken.name, taken.value, minimum ? EventKinds::Low : EventKinds::High)
                        : pair;
            fields.push_back(taken);
        }
        fields.push_back(
            {channel + QStringLiteral("deadband"), c, QString::number(alarms.deadband[c - 1]), {}});
        fields.push_back(
            {channel + QStringLiteral("on-delay"), c, QString::number(alarms.onDelay[c - 1]), {}});
    }
    fields.push_back({QStringLiteral("no value polls"), 0, QString::number(alarms.noValuePolls), {}});
    fields.push_back({QStringLiteral("no answer polls"), 0, QString::number(alarms.noAnswerPolls), {}});
    AddInstrumentFields(fields, setUp.InstrumentValue, false);
    return fields;
}

std::vector<Event> CompareSetUp(const SetUpTrail& last, const std::vector<SetUpField>& now) {
    std::vector<Event> events;
    QString said; // the last UNREADABLE text: a pair is named once
    for (const SetUpField& field : now) {
        Event e;
        e.kind = EventKinds::SetUp;
        e.channel = field.channel;
        const auto known = last.find(field.name);
        if (known == last.end()) {
            e.name = EventNames::InUse;
            e.text = field.name + u' ' + Shown(field.value);
        } else if (known->second != field.value) {
            e.name = EventNames::Changed;
            e.text = field.name + u' ' + Shown(known->second) + Arrow + Shown(field.value);
        } else {
            continue;
        }
        events.push_back(e);
        if (!field.unusable.isEmpty() && field.unusable != said) {
            e.name = EventNames::Unreadable;
            e.limit = field.limit ? field.value : QString();
            e.text = said = field.unusable;
            events.push_back(e);
        }
    }
    return events;
}

void TakeSetUp(SetUpTrail& trail, const Event& event) {
    if (event.kind != EventKinds::SetUp ||
        (event.name != EventNames::InUse && event.name != EventNames::Changed))
        return;
    // The name is one of the fields' names; none of them, with the blank
    // after it, begins another.
    static const std::vector<QString> names = [] {
        std::vector<QString> all;
        std::vector<SetUpField> fields = SetUpFieldsOf({}, {});
        AddInstrumentFields(fields, {}, true);
        for (const SetUpField& field : fields)
            all.push_back(field.name);
        return all;
    }();
    const auto named = std::find_if(names.begin(), names.end(),
                                    [&](const QString& name) { return event.text.startsWith(name + u' '); });
    if (named == names.end())
        return;
    const QString& name = *named;
    const QString rest = event.text.mid(name.size() + 1);
    if (event.name == EventNames::InUse) {
        trail[name] = Taken(rest);
        return;
    }
    // "old -> new": the old value is known, or else the last arrow splits.
    const auto known = trail.find(name);
    const QString old = known != trail.end() ? Shown(known->second) + Arrow : QString();
    if (!old.isEmpty() && rest.startsWith(old))
        trail[name] = Taken(rest.mid(old.size()));
    else
        trail[name] = Taken(rest.section(Arrow, -1));
}

} // namespace tarvek
