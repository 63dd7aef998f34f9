#pragma once

#include "viewer/AlarmList.h"
#include "viewer/EventSource.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableView;
class QTableWidget;

namespace tarvek {

// The alarms tab: whether anyone watches, the current alarms of the data
// folder's event logs with Acknowledge and Acknowledge all (an optional
// comment), and the events of the visible span, newest first.
class AlarmPane : public QWidget {
    Q_OBJECT
  public:
    // `channels` stay the caller's.
    AlarmPane(const ChannelInfos* channels, QTimeZone zone, QWidget* parent = nullptr);

    // Reads the event logs of `folder` in place of what was open.
    void Open(const QString& folder);
    // The follow step: the logs read again where they changed.
    void Follow();
    // The events of `span` (on the true time) go to the table.
    void ShowSpan(const TimeSpan& span);
    // Acknowledges the selected alarms, or all listed, with the comment as
    // typed; false with the reason in Problems().
    bool Acknowledge(bool all);

    const EventSource& Events() const { return events_; }
    // The rows of the events table, newest first.
    std::vector<QStringList> ShownEvents() const;
    // The logs that cannot be read, and why the last acknowledgement failed.
    QStringList Problems() const;

  signals:
    void Changed(); // the alarms or the problems changed

  private:
    void ShowAlarms();

    const ChannelInfos* channels_;
    EventSource events_;
    std::vector<CurrentAlarm> listed_;
    TimeSpan span_;
    std::vector<std::size_t> shown_; // of the events, newest first
    QString acknowledgeProblem_;
    QLabel* watch_;
    QTableWidget* list_;
    QLineEdit* comment_;
    QTableView* table_;
    EventsModel* model_;
};

} // namespace tarvek
