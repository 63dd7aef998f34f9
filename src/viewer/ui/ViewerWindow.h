#pragma once

#include "viewer/SpanChoice.h"
#include "viewer/TableText.h"
#include "viewer/ViewerSession.h"
#include "viewer/ui/TrendChart.h"

#include <QMainWindow>

#include <array>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;
class QVBoxLayout;

namespace tarvek {

class AlarmPane;
class FollowWatch;

// The viewer's window: the controls (data to open, span, channels, follow,
// export) beside the chart, the banner of unacknowledged alarms above it, the
// pointer's read-out under it and the statistics of the visible span, its
// periods outside the channels' limits and the alarms at the bottom. The
// tables hold in text what the chart shows, for a screen reader among others.
// It owns the session the chart and the alarms tab draw from.
class ViewerWindow : public QMainWindow {
    Q_OBJECT
  public:
    using enum SpanChoice; // the picker's spans, in its order (LastHour .. FromTo)

    explicit ViewerWindow(QTimeZone zone = QTimeZone::systemTimeZone(), QWidget* parent = nullptr);

    // Opens data files and folders in place of what was open; problems are
    // listed above the chart.
    void Open(const QStringList& paths);
    // Writes the visible span of the shown channels: .csv, .png or .pdf by
    // the file's suffix. False with the reason in the problems line.
    bool ExportTo(const QString& path);
    // The follow step, run every second by a timer and at once when the file
    // system tells of a change in the followed files (while following).
    void Follow();

    const ViewerSession& Session() const { return session_; }
    TrendChart* Chart() const { return chart_; }

  private:
    enum Tab { StatisticsTab, PeriodsTab, AlarmsTab }; // the tables' tabs, in their order

    void BuildChartColumn(QWidget* column, QTimeZone zone);
    void BuildTables(QWidget* parent);
    void ConnectChart();
    void StartFollowing();
    void BuildControls(QWidget* panel);
    void BuildOpenAndSpan(QWidget* panel, QVBoxLayout* layout);
    void BuildChannelBoxes(QWidget* panel, QVBoxLayout* layout);
    void BuildExports(QWidget* panel, QVBoxLayout* layout);
    void ApplySpanChoice();
    void ShowSpanEnds(const TimeSpan& span);
    void FollowData();    // the trend's part of the follow step
    void WatchFollowed(); // the folder and the files followed, or none
    void ShowData();
    void ReportCountNotes(); // to stderr, once each time they change
    void UpdateStatistics();
    bool ExportPdf(QIODevice& out); // the chart and the tables, paged
    void ShowPointer(qint64 utcMs);
    void ShowProblems(); // the source's, the event logs' and the last export's
    void ShowAlarms();   // the tab, its count, the banner, the marks
    void Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& comment);
    void ShowStatus();
    std::vector<int> ShownChannels() const;

    ViewerSession session_;
    TrendChart* chart_;
    QComboBox* spanChoice_;
    QDateTimeEdit* from_;
    QDateTimeEdit* to_;
    std::array<QCheckBox*, ChannelCount> channelBoxes_{};
    QCheckBox* follow_;
    QLabel* banner_;
    QLabel* problems_;
    QLabel* readOut_;
    QTableWidget* statistics_;
    QTableView* periods_;
    PeriodsModel* periodsModel_;
    QTabWidget* tables_;
    AlarmPane* alarms_;
    QTimer* followTimer_;
    FollowWatch* watch_;
    QString exportProblem_;  // why the last export failed
    QStringList countNotes_; // as last written to stderr
    bool zoomed_ = false;    // the span differs from the picker's choice
};

} // namespace tarvek
