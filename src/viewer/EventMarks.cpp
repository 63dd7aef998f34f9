#include "viewer/EventMarks.h"

#include "data/StoredTime.h"
#include "data/StoredTimeToUtc.h"

#include <algorithm>

namespace tarvek {

namespace {

std::optional<MarkKind> KindOf(const Event& e) {
    if (IsAlarmKind(e.kind)) {
        if (e.name == EventNames::Raised)
            return MarkKind::Raised;
        if (e.name == EventNames::Cleared)
            return MarkKind::Cleared;
        if (e.name == EventNames::Acknowledged)
            return MarkKind::Acknowledged;
        return std::nullopt;
    }
    if (e.kind == EventKinds::Acquisition || e.kind == EventKinds::Program)
        return MarkKind::StartStop;
    if (e.kind == EventKinds::SetUp)
        return MarkKind::SetUp;
    return std::nullopt;
}

} // namespace

EventTimeline TimelineOf(const std::vector<LoggedEvent>& events, const QTimeZone& zone) {
    EventTimeline timeline;
    AlarmFold fold;
    ExtendTimeline(timeline, fold, events, 0, zone);
    return timeline;
}

void ExtendTimeline(EventTimeline& timeline, AlarmFold& fold, const std::vector<LoggedEvent>& events,
                    std::size_t from, const QTimeZone& zone) {
    if (from == 0)
        timeline.utcMs.reserve(events.size());
    StoredTimeToUtc toUtc(zone);
    if (timeline.lastUtc)
        toUtc.Continue(*timeline.lastUtc);
    for (std::size_t i = from; i < events.size(); ++i) {
        const Event& e = events[i].event;
        const std::optional<qint64> local = EventStamp(e.date, e.time);
        const std::optional<qint64> utc = local ? std::optional(toUtc.ToUtc(*local)) : std::nullopt;
        timeline.utcMs.push_back(utc);
        if (!utc || (timeline.lastUtc && *utc < *timeline.lastUtc))
            timeline.timesNeverFall = false;
        timeline.lastUtc = utc ? utc : timeline.lastUtc;
        fold.Take(e);
        if (!utc || !IsAlarmKind(e.kind))
            continue;
        const bool active = std::any_of(fold.alarms.begin(), fold.alarms.end(), [&](const CurrentAlarm& a) {
            return a.kind == e.kind && a.channel == e.channel && a.Active();
        });
        const auto open =
            std::find_if(timeline.standing.begin(), timeline.standing.end(), [&](std::size_t s) {
                return timeline.stretches[s].kind == e.kind && timeline.stretches[s].channel == e.channel;
            });
        if (active && open == timeline.standing.end()) {
            timeline.standing.push_back(timeline.stretches.size());
            timeline.stretches.push_back({e.kind, e.channel, *utc, *utc, true});
        } else if (!active && open != timeline.standing.end()) {
            AlarmStretch& s = timeline.stretches[*open];
            s.to = std::max(s.from, *utc);
            s.standing = false;
            timeline.standing.erase(open);
        }
    }
}

std::vector<std::size_t> EventsIn(const EventTimeline& timeline, qint64 from, qint64 to) {
    const std::vector<std::optional<qint64>>& times = timeline.utcMs;
    std::vector<std::size_t> in;
    if (timeline.timesNeverFall) {
        const auto first = std::lower_bound(times.begin(), times.end(), from,
                                            [](const std::optional<qint64>& t, qint64 v) { return *t < v; });
        const auto last = std::upper_bound(first, times.end(), to,
                                           [](qint64 v, const std::optional<qint64>& t) { return v < *t; });
        for (auto i = first; i != last; ++i)
            in.push_back(std::size_t(i - times.begin()));
        return in;
    }
    for (std::size_t i = 0; i < times.size(); ++i)
        if (times[i] && *times[i] >= from && *times[i] <= to)
            in.push_back(i);
    return in;
}

std::vector<TrendMark> MarksIn(const std::vector<LoggedEvent>& events, const EventTimeline& timeline,
                               const ChartWindow& window, const PlotBand& band) {
    struct Placed {
        double x;
        std::size_t event;
        MarkKind kind;
    };
    std::vector<Placed> placed;
    for (const std::size_t i : EventsIn(timeline, window.from, window.to)) {
        if (i >= events.size())
            break;
        if (const std::optional<MarkKind> kind = KindOf(events[i].event))
            placed.push_back({window.XAt(*timeline.utcMs[i], band), i, *kind});
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.x < b.x; });
    std::vector<TrendMark> marks;
    for (const Placed& p : placed) {
        const int channel = p.kind == MarkKind::Raised ? events[p.event].event.channel : 0;
        if (marks.empty() || p.x - marks.back().x >= MarkHeight) {
            marks.push_back({p.x, p.kind, channel, {p.event}});
            continue;
        }
        TrendMark& mark = marks.back();
        mark.events.push_back(p.event);
        if (p.kind == MarkKind::Raised && mark.kind != MarkKind::Raised) {
            mark.kind = MarkKind::Raised;
            mark.channel = channel;
        }
    }
    return marks;
}

std::vector<StretchBand> StretchesIn(const EventTimeline& timeline, const ChartWindow& window,
                                     const PlotBand& band) {
    std::vector<StretchBand> bands;
    for (const AlarmStretch& s : timeline.stretches) {
        const qint64 end = s.standing ? window.to : s.to;
        if (end < window.from || s.from > window.to)
            continue;
        const double x1 = window.XAt(std::max(s.from, window.from), band);
        const double x2 = window.XAt(std::min(end, window.to), band);
        bands.push_back({s.channel, x1, std::max(x2, x1 + 2)});
    }
    std::sort(bands.begin(), bands.end(), [](const StretchBand& a, const StretchBand& b) {
        return std::pair(a.channel, a.x1) < std::pair(b.channel, b.x1);
    });
    std::vector<StretchBand> merged;
    for (const StretchBand& b : bands) {
        if (!merged.empty() && merged.back().channel == b.channel && b.x1 <= merged.back().x2 + 1)
            merged.back().x2 = std::max(merged.back().x2, b.x2);
        else
            merged.push_back(b);
    }
    return merged;
}

std::optional<int> StretchLine(int channel, const std::vector<int>& stripChannels) {
    if (channel == 0)
        return int(stripChannels.size());
    const auto at = std::find(stripChannels.begin(), stripChannels.end(), channel - 1);
    if (at == stripChannels.end())
        return std::nullopt;
    return int(at - stripChannels.begin());
}

QRectF MarkRow(const QRectF& lastPlot) {
    return {lastPlot.left(), lastPlot.bottom() - MarkHeight, lastPlot.width(), MarkHeight};
}

const TrendMark* MarkAt(const std::vector<TrendMark>& marks, const QPointF& at, const QRectF& row) {
    if (at.y() < row.top() - 2 || at.y() > row.bottom() + 2)
        return nullptr;
    const TrendMark* nearest = nullptr;
    for (const TrendMark& mark : marks)
        if (std::abs(mark.x - at.x()) <= 3 &&
            (!nearest || std::abs(mark.x - at.x()) < std::abs(nearest->x - at.x())))
            nearest = &mark;
    return nearest;
}

QString ChannelName(int channel, const ChannelInfos& channels) {
    return channel >= 1 && channel <= ChannelCount ? channels[std::size_t(channel - 1)].name : QString();
}

QString EventLine(const Event& e, const ChannelInfos& channels) {
    QString what;
    if (IsAlarmKind(e.kind)) {
        what = AlarmText(e.kind, ChannelName(e.channel, channels)) + u' ' + e.name.toLower();
    } else {
        what = (e.kind + u' ' + e.name).toLower();
        what[0] = what[0].toUpper();
    }
    QString line = e.date + u' ' + e.time + u' ' + what;
    if (const QString value = e.value.trimmed(); !value.isEmpty())
        line += QStringLiteral(", value ") + value;
    if (!e.limit.isEmpty())
        line += QStringLiteral(", limit ") + e.limit;
    if (!e.user.isEmpty())
        line += QStringLiteral(" by ") + e.user;
    if (!e.text.isEmpty())
        line += QStringLiteral(": ") + e.text;
    return line;
}

QString MarkText(const TrendMark& mark, const std::vector<LoggedEvent>& events,
                 const ChannelInfos& channels) {
    constexpr std::size_t shown = 10;
    QStringList lines;
    for (std::size_t i = 0; i < std::min(shown, mark.events.size()); ++i)
        lines += EventLine(events[mark.events[i]].event, channels);
    if (mark.events.size() > shown)
        lines += QStringLiteral("and %1 more").arg(mark.events.size() - shown);
    return lines.join(u'\n');
}

} // namespace tarvek
