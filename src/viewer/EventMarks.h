#pragma once

#include "data/AlarmFold.h"
#include "viewer/Channels.h"
#include "viewer/ChartWindow.h"

#include <QTimeZone>

#include <optional>
#include <vector>

namespace tarvek {

// The events of the logs on the chart's time axis: a mark per event and the
// stretches while an alarm was raised, as the logger raised them. They stand
// beside the periods outside limits, which the records give.

// An alarm raised from `from` to its clearing at `to` (true time, ms), or
// standing at the end of the logs.
struct AlarmStretch {
    QString kind;
    int channel = 0; // from 1; 0 for the logger's own alarms
    qint64 from = 0, to = 0;
    bool standing = false;
    bool operator==(const AlarmStretch&) const = default;
};

// The logs' events on the true time line: the time of each (nothing for an
// event without a stamp, EventStamp), in the logs' order, and the stretches
// the fold gives (an alarm is raised while the fold holds it active).
struct EventTimeline {
    std::vector<std::optional<qint64>> utcMs;
    std::vector<AlarmStretch> stretches;
    std::vector<std::size_t> standing; // the places in `stretches` of those not yet cleared
    std::optional<qint64> lastUtc;     // of the last event placed
    bool timesNeverFall = true;        // every event has a time, none before the one before it
};
EventTimeline TimelineOf(const std::vector<LoggedEvent>& events, const QTimeZone& zone);
// Goes on with the events from `from` on, `fold` following them too: the
// logs' appended events cost what they hold, not the month.
void ExtendTimeline(EventTimeline& timeline, AlarmFold& fold, const std::vector<LoggedEvent>& events,
                    std::size_t from, const QTimeZone& zone);

// The places of the events from `from` to `to` (true time, ms, both
// included), in the logs' order: by bisection while the times never fall.
std::vector<std::size_t> EventsIn(const EventTimeline& timeline, qint64 from, qint64 to);

// What a mark shows: an alarm raised (in its channel's colour), cleared or
// acknowledged, acquisition or the program started or stopped, the set-up.
enum class MarkKind { Raised, Cleared, Acknowledged, StartStop, SetUp };

// A mark at `x`: the events within a mark's width of the first share one
// (marks drawn side by side never overlap), which shows the first raised
// among them, if any.
struct TrendMark {
    double x = 0;
    MarkKind kind = MarkKind::StartStop;
    int channel = 0;                 // from 1, of the raised alarm shown; 0 for none
    std::vector<std::size_t> events; // their places in the logs, in time order
};

// The marks of the events in `window`, placed over `band`, by rising x.
std::vector<TrendMark> MarksIn(const std::vector<LoggedEvent>& events, const EventTimeline& timeline,
                               const ChartWindow& window, const PlotBand& band);

// A stretch in pixels: from x1 to x2, at least 2 wide; those of one channel
// that touch are drawn as one.
struct StretchBand {
    int channel = 0; // from 1; 0 for the logger's own
    double x1 = 0, x2 = 0;
    bool operator==(const StretchBand&) const = default;
};
std::vector<StretchBand> StretchesIn(const EventTimeline& timeline, const ChartWindow& window,
                                     const PlotBand& band);
// The line along a strip's edge of a stretch of `channel` (from 1): its
// place among the strip's channels (from 0), the logger's own after them;
// none for a channel the strip does not show.
std::optional<int> StretchLine(int channel, const std::vector<int>& stripChannels);

// The row of marks: along the bottom edge of the last strip's plot; a mark
// is as wide as the row is high.
inline constexpr double MarkHeight = 8;
QRectF MarkRow(const QRectF& lastPlot);
// The mark under the pointer: the nearest within 3 pixels across the row.
const TrendMark* MarkAt(const std::vector<TrendMark>& marks, const QPointF& at, const QRectF& row);

// The name of channel `channel` (from 1), empty for the logger's own.
QString ChannelName(int channel, const ChannelInfos& channels);

// What happened, a line per event: "05-03-2025 10:00:00 Boiler above maximum
// raised, value 12.000, limit 10", "... acknowledged by anna: valve checked",
// "... acquisition stopped"; at most 10 lines, then how many more.
QString EventLine(const Event& event, const ChannelInfos& channels);
QString MarkText(const TrendMark& mark, const std::vector<LoggedEvent>& events, const ChannelInfos& channels);

} // namespace tarvek
