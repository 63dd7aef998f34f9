#pragma once

#include "viewer/EventSource.h"
#include "viewer/Limits.h"
#include "viewer/SealStatus.h"
#include "viewer/TrendSource.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

namespace tarvek {

// What the viewer has open, apart from any window: the data files, the event
// logs of their folder, and what the span shown holds of them (the periods
// outside the limits, the events). The window and the headless export each
// own one; the chart and the alarms tab only draw from it.
class ViewerSession {
  public:
    explicit ViewerSession(QTimeZone zone = QTimeZone::systemTimeZone(),
                           qint64 recordLimit = TrendSource::DefaultRecordLimit);

    // Opens the data of `paths` in place of what was open (TrendSource::Open).
    bool OpenData(const QStringList& paths);
    // Reads the event logs of the opened data's folder in place of those read.
    void OpenEvents();
    // The follow steps of the data and of the logs (TrendSource::FollowStep,
    // EventSource::FollowStep).
    TrendSource::Change FollowData();
    bool FollowEvents();
    // Acknowledges `alarms` as `user` (EventSource::Acknowledge); a failure
    // stays among the problems until the next acknowledgement or opening.
    bool Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& user, const QString& comment,
                     const QDateTime& now);
    // The span shown (true time) and its channels: what it holds is found
    // again. Called again after the data changed, which forgets the periods.
    void ShowSpan(const std::vector<int>& shown, const TimeSpan& span);

    const TrendSource& Source() const { return source_; }
    const EventSource& Events() const { return events_; }
    // The periods outside the limits of the shown channels over the span.
    const std::vector<LimitPeriod>& Periods() const { return periods_; }
    // The places of the logs' events in the span, newest first, and their
    // rows in the events table.
    const std::vector<std::size_t>& SpanEvents() const { return spanEvents_; }
    std::vector<QStringList> SpanEventRows() const;
    // What cannot be read (data, limits, logs), why the last
    // acknowledgement failed, and what the seals say of the span (SealStatus).
    QStringList Problems() const;
    // What a follow watches: the logs and their folder, the newest data file.
    QStringList FollowedPaths() const;

  private:
    TrendSource source_;
    EventSource events_;
    QString folder_; // of the data, holding the logs
    std::vector<int> shown_;
    TimeSpan span_;
    std::vector<LimitPeriod> periods_;
    std::vector<std::size_t> spanEvents_;
    QString acknowledgeProblem_;
    mutable SealStatus seals_; // verified only when the problems are asked for
};

} // namespace tarvek
