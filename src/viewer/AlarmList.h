#pragma once

#include "data/AlarmFold.h"
#include "viewer/Channels.h"
#include "viewer/EventMarks.h"
#include "viewer/TableText.h"

#include <QDateTime>
#include <QIODevice>
#include <QStringList>

#include <optional>
#include <vector>

namespace tarvek {

// The viewer's alarms as text: the current alarms the logs fold into (the
// one rule of data/AlarmFold), the banner, the events of a span and their
// CSV.

inline const QString AlarmsTitle = QStringLiteral("Alarms");
inline const QString EventsTitle = QStringLiteral("Events of the visible span");

// The status line's part for event records skipped: "; N event records
// skipped", empty for none.
QString EventSkipText(int skipped);

// The current alarms as the list shows them: unacknowledged first, then by
// the time they were raised.
std::vector<CurrentAlarm> AlarmsInOrder(const AlarmFold& fold);
// The alarms that need attention: those not yet acknowledged.
int NeedingAttention(const AlarmFold& fold);

// The list's columns: state, since, channel, alarm, value, limit.
QStringList AlarmHeadings();
QStringList AlarmRow(const CurrentAlarm& alarm, const ChannelInfos& channels);

// The line above the chart while any alarm is active and unacknowledged
// ("2 alarms: Boiler pressure above maximum since 10:15:30, ..."), the date
// given where it is not `today` (dd-mm-yyyy); empty otherwise.
QString BannerText(const AlarmFold& fold, const ChannelInfos& channels, const QString& today);

// While acquisition is stopped, since when nobody watches; empty otherwise.
QString WatchText(const AlarmFold& fold);

// The places of the events of `span` (on the true time), newest first.
std::vector<std::size_t> EventsInSpan(const EventTimeline& timeline, const TimeSpan& span);

// The event table's columns: time, kind, channel, event, value, limit, user,
// text.
QStringList EventHeadings();
QStringList EventRow(const Event& event, const ChannelInfos& channels);

// The events of `span` (on the wall clock) as CSV by the rules of the data's
// CSV: a header row "time,kind,channel,event,value,limit,user,text", then one
// row per event in stored order, the time as YYYY-MM-DDTHH:MM:SS, the channel
// by its heading.
bool WriteEventsCsv(QIODevice& out, const std::vector<LoggedEvent>& events, const ChannelInfos& channels,
                    const TimeSpan& localSpan);

// The events of a span as a table model, newest first: a month can hold a
// hundred thousand, so the cells are made only as they are shown.
class EventsModel : public LazyTableModel {
  public:
    using LazyTableModel::LazyTableModel;
    // The events and channels stay the caller's.
    void Show(const std::vector<LoggedEvent>* events, const ChannelInfos* channels,
              std::vector<std::size_t> shown);

  private:
    std::size_t Rows() const override { return shown_.size(); }
    QStringList Headings() const override { return EventHeadings(); }
    QStringList Row(std::size_t row) const override {
        return EventRow((*events_)[shown_[row]].event, *channels_);
    }

    const std::vector<LoggedEvent>* events_ = nullptr;
    const ChannelInfos* channels_ = nullptr;
    std::vector<std::size_t> shown_;
};

// The alarms an acknowledgement covers: those of `listed` at `selectedRows`,
// or all when `all`, less those already acknowledged.
std::vector<CurrentAlarm> ToAcknowledge(const std::vector<CurrentAlarm>& listed,
                                        const std::vector<int>& selectedRows, bool all);

} // namespace tarvek
