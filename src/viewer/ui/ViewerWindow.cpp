#include "viewer/ui/ViewerWindow.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "common/TextHelpers.h"
#include "data/EventLog.h"
#include "viewer/CsvExport.h"
#include "viewer/ExportFile.h"
#include "viewer/FollowWatch.h"
#include "viewer/TableText.h"
#include "viewer/ViewerText.h"
#include "viewer/ui/AlarmPane.h"
#include "viewer/ui/PdfExport.h"
#include "viewer/ui/ReadOnlyTable.h"
#include "viewer/ui/TextLine.h"

namespace tarvek {

namespace {

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (column > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
}

} // namespace

ViewerWindow::ViewerWindow(QTimeZone zone, QWidget* parent) : QMainWindow(parent), session_(zone) {
    setWindowTitle(QStringLiteral("TARVEK trends"));
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    BuildControls(new QWidget(splitter));
    auto* right = new QSplitter(Qt::Vertical, splitter);
    BuildChartColumn(new QWidget(right), std::move(zone));
    BuildTables(right);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    ConnectChart();
    StartFollowing();
    resize(1200, 800);
}

// Above the chart the banner and the problems, under it the read-out.
void ViewerWindow::BuildChartColumn(QWidget* column, QTimeZone zone) {
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    banner_ = TextLine(column, QStringLiteral("Alarms needing attention"));
    banner_->setStyleSheet(QStringLiteral("font-weight: bold"));
    banner_->hide();
    problems_ = TextLine(column, QStringLiteral("Problems"));
    problems_->setStyleSheet(QStringLiteral("color: #b00000"));
    problems_->hide();
    chart_ = new TrendChart(session_, std::move(zone), column);
    chart_->setAccessibleName(QStringLiteral("Trend chart"));
    chart_->setAccessibleDescription(
        QStringLiteral("Values against time, a strip per unit; the tables below give the same span in text"));
    chart_->setMinimumSize(480, 300);
    readOut_ = TextLine(column, QStringLiteral("Values under the pointer"));
    readOut_->setText(QStringLiteral("Point at the chart to read values."));
    readOut_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(banner_);
    layout->addWidget(problems_);
    layout->addWidget(chart_, 1);
    layout->addWidget(readOut_);
}

// The tables share the room under the chart, a tab each.
void ViewerWindow::BuildTables(QWidget* parent) {
    statistics_ = ReadOnly(new QTableWidget(ChannelCount, int(StatisticsHeadings().size())), StatisticsTitle);
    statistics_->setHorizontalHeaderLabels(StatisticsHeadings());
    periodsModel_ = new PeriodsModel(this);
    periods_ = ReadOnly(new QTableView, PeriodsTitle);
    periods_->setModel(periodsModel_);
    tables_ = new QTabWidget(parent);
    tables_->setAccessibleName(QStringLiteral("Tables of the visible span"));
    tables_->addTab(statistics_, tr("St&atistics"));
    tables_->addTab(periods_, QString());
    alarms_ = new AlarmPane(session_, tables_);
    tables_->addTab(alarms_, QString());
    alarms_->setAccessibleName(AlarmsTitle);
    connect(alarms_, &AlarmPane::AcknowledgeAsked, this, &ViewerWindow::Acknowledge);
}

void ViewerWindow::ConnectChart() {
    connect(chart_, &TrendChart::SpanChanged, this, [this] {
        zoomed_ = true;
        ShowSpanEnds(chart_->Span());
        UpdateStatistics();
    });
    connect(chart_, &TrendChart::PointerAt, this, &ViewerWindow::ShowPointer);
    connect(chart_, &TrendChart::ResetRequested, this, &ViewerWindow::ApplySpanChoice);
}

// The follow step every second, and at once when a followed file changes.
void ViewerWindow::StartFollowing() {
    followTimer_ = new QTimer(this);
    followTimer_->setInterval(1000);
    connect(followTimer_, &QTimer::timeout, this, &ViewerWindow::Follow);
    followTimer_->start();
    watch_ = new FollowWatch(this);
    connect(watch_, &FollowWatch::Changed, this, &ViewerWindow::Follow);
    connect(follow_, &QCheckBox::toggled, this, &ViewerWindow::WatchFollowed);
}

std::vector<int> ViewerWindow::ShownChannels() const {
    std::vector<int> shown;
    for (int k = 0; k < ChannelCount; ++k)
        if (channelBoxes_[k]->isChecked())
            shown.push_back(k);
    return shown;
}

void ViewerWindow::Open(const QStringList& paths) {
    session_.OpenData(paths);
    const std::array<bool, ChannelCount> shown = InitiallyShown(session_.Source().Channels());
    for (int k = 0; k < ChannelCount; ++k) {
        const QSignalBlocker quiet(channelBoxes_[k]);
        channelBoxes_[k]->setChecked(shown[k]);
    }
    session_.OpenEvents();
    exportProblem_.clear();
    setWindowTitle(QStringLiteral("TARVEK trends - ") + QDir::toNativeSeparators(paths.join(u' ')));
    ShowData();
    ApplySpanChoice();
    ShowAlarms();
    WatchFollowed();
}

void ViewerWindow::ShowData() {
    const ChannelInfos& channels = session_.Source().Channels();
    for (int k = 0; k < ChannelCount; ++k) {
        channelBoxes_[k]->setText(channels[k].Heading());
        channelBoxes_[k]->setAccessibleName(QStringLiteral("Show ") + channels[k].Heading());
    }
    chart_->SetShown(ShownChannels());
    ReportCountNotes();
    ShowStatus();
}

void ViewerWindow::ReportCountNotes() {
    const QStringList notes = session_.Source().CountNotes();
    if (!notes.isEmpty() && notes != countNotes_) {
        for (const QString& note : notes)
            std::fprintf(stderr, "tarvek-view: %s\n", qPrintable(note));
    }
    countNotes_ = notes;
}

void ViewerWindow::ShowStatus() {
    const TrendSource& source = session_.Source();
    statusBar()->showMessage(
        StatusText(source.Files().size(), source.Data().Size(), source.Tally(), countNotes_) +
        EventSkipText(session_.Events().Skipped()));
}

void ViewerWindow::ShowAlarms() {
    alarms_->ShowAlarms();
    const AlarmFold& fold = session_.Events().Fold();
    tables_->setTabText(AlarmsTab, tr("Alar&ms (%1)").arg(NeedingAttention(fold)));
    const QString banner = BannerText(fold, session_.Source().Channels(), DateStamp(QDate::currentDate()));
    banner_->setText(banner);
    banner_->setVisible(!banner.isEmpty());
    chart_->RefreshMarks();
    ShowProblems();
    ShowStatus();
}

void ViewerWindow::Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& comment) {
    if (session_.Acknowledge(alarms, RealUserName(), comment, QDateTime::currentDateTime()))
        alarms_->ClearComment();
    ShowAlarms();
}

void ViewerWindow::ApplySpanChoice() {
    const auto choice = SpanChoice(spanChoice_->currentIndex());
    const std::optional<TimeSpan> span =
        ChosenSpan(choice, session_.Source().Data(), from_->dateTime().toMSecsSinceEpoch(),
                   to_->dateTime().toMSecsSinceEpoch());
    chart_->ShowSpan(span ? span->from : 0, span ? span->to : 0);
    zoomed_ = false;
}

void ViewerWindow::ShowSpanEnds(const TimeSpan& span) {
    // The fields hold the user's own span while "From … to …" is chosen.
    if (SpanChoice(spanChoice_->currentIndex()) == FromTo || session_.Source().Data().Size() == 0)
        return;
    for (auto [edit, ms] : {std::pair{from_, span.from}, std::pair{to_, span.to}}) {
        const QSignalBlocker quiet(edit);
        edit->setDateTime(QDateTime::fromMSecsSinceEpoch(ms));
    }
}

void ViewerWindow::UpdateStatistics() {
    session_.ShowSpan(ShownChannels(), chart_->Span());
    const Trend& trend = session_.Source().Data();
    const ChannelInfos& channels = session_.Source().Channels();
    const std::vector<LimitPeriod>& periods = session_.Periods();
    // A row per shown channel only: a hidden row would still be read out.
    const std::vector<QStringList> rows =
        StatisticsRows(trend, channels, ShownChannels(), chart_->Span(), periods);
    statistics_->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row)
        SetRow(statistics_, row, rows[std::size_t(row)]);
    periodsModel_->Show(&trend, &channels, periods);
    alarms_->ShowSpanEvents();
    tables_->setTabText(PeriodsTab, tr("Periods &outside limits (%1)").arg(periods.size()));
    ShowProblems();   // what the seals say of the span
    chart_->update(); // its shading
}

void ViewerWindow::ShowPointer(qint64 utcMs) {
    const Trend& trend = session_.Source().Data();
    const qint64 i = NearestRecord(trend, chart_->Span(), utcMs);
    if (i < 0)
        return;
    readOut_->setText(ReadOutText(trend, i, ShownChannels(), session_.Source().Channels()));
}

void ViewerWindow::ShowProblems() {
    QStringList problems = session_.Problems();
    if (!exportProblem_.isEmpty())
        problems += exportProblem_;
    problems_->setText(problems.join(u'\n'));
    problems_->setVisible(!problems.isEmpty());
}

void ViewerWindow::Follow() {
    // The alarms are followed always: they are what is wrong now.
    if (session_.FollowEvents())
        ShowAlarms();
    if (follow_->isChecked())
        FollowData();
    WatchFollowed();
}

void ViewerWindow::WatchFollowed() {
    watch_->Watch(follow_->isChecked() ? session_.FollowedPaths() : QStringList());
}

void ViewerWindow::FollowData() {
    const FollowRedraw redraw =
        AfterFollowStep(session_.FollowData(), zoomed_, SpanChoice(spanChoice_->currentIndex()) == FromTo);
    ShowProblems();
    if (redraw == FollowRedraw::Nothing)
        return;
    ShowData();
    if (redraw == FollowRedraw::SameSpan) {
        chart_->Refresh();
        UpdateStatistics();
    } else {
        ApplySpanChoice();
    }
}

bool ViewerWindow::ExportTo(const QString& path) {
    ExportWriters writers;
    writers.csv = [this](QIODevice& out) {
        return WriteCsv(out, session_.Source().Data(), session_.Source().Channels(), ShownChannels(),
                        chart_->Span());
    };
    writers.png = [this](QIODevice& out) {
        // Encoded in memory first: the encoder's own error path when a write
        // fails leaks its copy of the image.
        QByteArray png;
        QBuffer buffer(&png);
        return chart_->grab().save(&buffer, "PNG") && out.write(png) == png.size();
    };
    writers.pdf = [this](QIODevice& out) { return ExportPdf(out); };
    exportProblem_.clear();
    const bool done = WriteExportAs(path, writers, &exportProblem_);
    ShowProblems();
    return done;
}

// The chart as drawn, then the statistics of the shown channels, the
// periods outside limits and the events of the span as text.
bool ViewerWindow::ExportPdf(QIODevice& out) {
    const Trend& trend = session_.Source().Data();
    const ChannelInfos& channels = session_.Source().Channels();
    const std::vector<LimitPeriod>& periods = session_.Periods();
    return WritePdf(out, chart_->grab(),
                    {{StatisticsTitle,
                      StatisticsHeadings(),
                      StatisticsRows(trend, channels, ShownChannels(), chart_->Span(), periods),
                      {}},
                     {PeriodsTitle, PeriodHeadings(), PeriodRows(trend, channels, periods), {}},
                     {EventsTitle, EventHeadings(), session_.SpanEventRows(), {}}});
}

} // namespace tarvek
