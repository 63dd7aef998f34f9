#include "viewer/ui/ViewerWindow.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "common/TextHelpers.h"
#include "viewer/CsvExport.h"
#include "viewer/ExportFile.h"
#include "viewer/FollowWatch.h"
#include "viewer/TableText.h"
#include "viewer/ViewerText.h"
#include "viewer/ui/AlarmPane.h"
#include "viewer/ui/PdfExport.h"
#include "viewer/ui/ReadOnlyTable.h"

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

QPushButton* Button(const QString& text, QWidget* parent, QLayout* layout) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(QString(text).remove(u'&').remove(QStringLiteral("…")));
    layout->addWidget(button);
    return button;
}

} // namespace

ViewerWindow::ViewerWindow(QTimeZone zone, QWidget* parent) : QMainWindow(parent), source_(zone) {
    setWindowTitle(QStringLiteral("TARVEK trends"));
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* panel = new QWidget(splitter);
    BuildControls(panel);

    auto* right = new QSplitter(Qt::Vertical, splitter);
    auto* chartBox = new QWidget(right);
    auto* chartLayout = new QVBoxLayout(chartBox);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    // Both lines are read out by their text, and neither may widen the
    // window: they wrap, and a word too long for the width is cut.
    const auto line = [chartBox](const QString& description) {
        auto* label = new QLabel(chartBox);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setAccessibleDescription(description);
        return label;
    };
    banner_ = line(QStringLiteral("Alarms needing attention"));
    banner_->setStyleSheet(QStringLiteral("font-weight: bold"));
    banner_->hide();
    problems_ = line(QStringLiteral("Problems"));
    problems_->setStyleSheet(QStringLiteral("color: #b00000"));
    problems_->hide();
    chart_ = new TrendChart(std::move(zone), chartBox);
    chart_->setAccessibleName(QStringLiteral("Trend chart"));
    chart_->setAccessibleDescription(
        QStringLiteral("Values against time, a strip per unit; the tables below give the same span in text"));
    chart_->setMinimumSize(480, 300);
    readOut_ = line(QStringLiteral("Values under the pointer"));
    readOut_->setText(QStringLiteral("Point at the chart to read values."));
    readOut_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chartLayout->addWidget(banner_);
    chartLayout->addWidget(problems_);
    chartLayout->addWidget(chart_, 1);
    chartLayout->addWidget(readOut_);

    statistics_ = ReadOnly(new QTableWidget(ChannelCount, int(StatisticsHeadings().size())), StatisticsTitle);
    statistics_->setHorizontalHeaderLabels(StatisticsHeadings());
    periodsModel_ = new PeriodsModel(this);
    periods_ = ReadOnly(new QTableView, PeriodsTitle);
    periods_->setModel(periodsModel_);
    right->setStretchFactor(0, 3);
    // The tables share the room under the chart, a tab each.
    tables_ = new QTabWidget(right);
    tables_->setAccessibleName(QStringLiteral("Tables of the visible span"));
    tables_->addTab(statistics_, tr("St&atistics"));
    tables_->addTab(periods_, QString());
    alarms_ = new AlarmPane(&source_.Channels(), zone, tables_);
    tables_->addTab(alarms_, QString());
    alarms_->setAccessibleName(AlarmsTitle);
    connect(alarms_, &AlarmPane::Changed, this, &ViewerWindow::ShowAlarms);
    chart_->SetEvents(&alarms_->Events());
    right->setStretchFactor(1, 1);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    connect(chart_, &TrendChart::SpanChanged, this, [this] {
        zoomed_ = true;
        ShowSpanEnds(chart_->Span());
        UpdateStatistics();
    });
    connect(chart_, &TrendChart::PointerAt, this, &ViewerWindow::ShowPointer);
    connect(chart_, &TrendChart::ResetRequested, this, &ViewerWindow::ApplySpanChoice);

    followTimer_ = new QTimer(this);
    followTimer_->setInterval(1000);
    connect(followTimer_, &QTimer::timeout, this, &ViewerWindow::Follow);
    followTimer_->start();
    watch_ = new FollowWatch(this);
    connect(watch_, &FollowWatch::Changed, this, &ViewerWindow::Follow);
    connect(follow_, &QCheckBox::toggled, this, &ViewerWindow::WatchFollowed);
    resize(1200, 800);
}

// The column of controls left of the chart, top to bottom.
void ViewerWindow::BuildControls(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
    BuildOpenAndSpan(panel, layout);
    BuildChannelBoxes(panel, layout);
    BuildExports(panel, layout);
    layout->addStretch(1);
}

// The two open buttons, then the span picker with its From and To fields.
void ViewerWindow::BuildOpenAndSpan(QWidget* panel, QVBoxLayout* layout) {
    connect(Button(tr("Open &folder…"), panel, layout), &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, tr("Open a folder of data files"));
        if (!folder.isEmpty())
            Open({folder});
    });
    connect(Button(tr("Open f&iles…"), panel, layout), &QPushButton::clicked, this, [this] {
        const QStringList files = QFileDialog::getOpenFileNames(this, tr("Open data files"), {},
                                                                tr("Data files (*-Data.txt);;All files (*)"));
        if (!files.isEmpty())
            Open(files);
    });

    auto* form = new QFormLayout;
    spanChoice_ = new QComboBox(panel);
    spanChoice_->addItems(
        {tr("Last hour"), tr("Last day"), tr("Last week"), tr("Last month"), tr("All"), tr("From … to …")});
    spanChoice_->setCurrentIndex(int(All));
    spanChoice_->setAccessibleName(tr("Span"));
    from_ = new QDateTimeEdit(panel);
    to_ = new QDateTimeEdit(panel);
    for (QDateTimeEdit* edit : {from_, to_}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
    }
    from_->setAccessibleName(tr("From"));
    to_->setAccessibleName(tr("To"));
    form->addRow(tr("&Span"), spanChoice_);
    form->addRow(tr("F&rom"), from_);
    form->addRow(tr("&To"), to_);
    layout->addLayout(form);
    connect(spanChoice_, &QComboBox::currentIndexChanged, this, [this](int choice) {
        from_->setEnabled(choice == int(FromTo));
        to_->setEnabled(choice == int(FromTo));
        ApplySpanChoice();
    });
    for (QDateTimeEdit* edit : {from_, to_})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (SpanChoice(spanChoice_->currentIndex()) == FromTo)
                ApplySpanChoice();
        });
}

// A box per channel with its colour, then whether the newest file is followed.
void ViewerWindow::BuildChannelBoxes(QWidget* panel, QVBoxLayout* layout) {
    for (int k = 0; k < ChannelCount; ++k) {
        auto* box = new QCheckBox(panel);
        box->setChecked(true);
        QPixmap swatch(12, 12);
        swatch.fill(TrendChart::ChannelColor(k));
        box->setIcon(swatch);
        layout->addWidget(box);
        channelBoxes_[k] = box;
        connect(box, &QCheckBox::toggled, this, [this] {
            chart_->SetData(&source_.Data(), source_.Channels(), ShownChannels());
            UpdateStatistics();
        });
    }

    follow_ = new QCheckBox(tr("Fo&llow the newest file"), panel);
    follow_->setChecked(true);
    follow_->setAccessibleName(tr("Follow the newest file"));
    layout->addWidget(follow_);
}

// The reset of the zoom, and the exports of the visible span.
void ViewerWindow::BuildExports(QWidget* panel, QVBoxLayout* layout) {
    connect(Button(tr("&Reset zoom"), panel, layout), &QPushButton::clicked, this,
            &ViewerWindow::ApplySpanChoice);
    const auto exportButton = [&](const QString& text, const QString& filter) {
        connect(Button(text, panel, layout), &QPushButton::clicked, this, [this, filter] {
            const QString path =
                QFileDialog::getSaveFileName(this, tr("Export the visible span"), {}, filter);
            if (!path.isEmpty())
                ExportTo(path);
        });
    };
    exportButton(tr("Export &CSV…"), tr("CSV (*.csv)"));
    exportButton(tr("Export &PNG…"), tr("PNG image (*.png)"));
    exportButton(tr("Export P&DF…"), tr("PDF document (*.pdf)"));
}

std::vector<int> ViewerWindow::ShownChannels() const {
    std::vector<int> shown;
    for (int k = 0; k < ChannelCount; ++k)
        if (channelBoxes_[k]->isChecked())
            shown.push_back(k);
    return shown;
}

void ViewerWindow::Open(const QStringList& paths) {
    source_.Open(paths);
    const std::array<bool, ChannelCount> shown = InitiallyShown(source_.Channels());
    for (int k = 0; k < ChannelCount; ++k) {
        const QSignalBlocker quiet(channelBoxes_[k]);
        channelBoxes_[k]->setChecked(shown[k]);
    }
    alarms_->Open(DataFolderOf(paths));
    exportProblem_.clear();
    ShowProblems();
    setWindowTitle(QStringLiteral("TARVEK trends - ") + QDir::toNativeSeparators(paths.join(u' ')));
    ShowData();
    ApplySpanChoice();
    WatchFollowed();
}

void ViewerWindow::ShowData() {
    const ChannelInfos& channels = source_.Channels();
    for (int k = 0; k < ChannelCount; ++k) {
        channelBoxes_[k]->setText(channels[k].Heading());
        channelBoxes_[k]->setAccessibleName(QStringLiteral("Show ") + channels[k].Heading());
    }
    chart_->SetData(&source_.Data(), channels, ShownChannels());

    // A count note goes to stderr once, when it first appears.
    const QStringList notes = source_.CountNotes();
    if (!notes.isEmpty() && notes != countNotes_) {
        for (const QString& note : notes)
            std::fprintf(stderr, "tarvek-view: %s\n", qPrintable(note));
    }
    countNotes_ = notes;
    ShowStatus();
}

void ViewerWindow::ShowStatus() {
    statusBar()->showMessage(
        StatusText(source_.Files().size(), source_.Data().Size(), source_.Tally(), countNotes_) +
        EventSkipText(alarms_->Events().Skipped()));
}

void ViewerWindow::ShowAlarms() {
    const AlarmFold& fold = alarms_->Events().Fold();
    tables_->setTabText(2, tr("Alar&ms (%1)").arg(NeedingAttention(fold)));
    const QString banner = BannerText(fold, source_.Channels(), DateStamp(QDate::currentDate()));
    banner_->setText(banner);
    banner_->setVisible(!banner.isEmpty());
    chart_->RefreshMarks();
    ShowProblems();
    ShowStatus();
}

void ViewerWindow::ApplySpanChoice() {
    const auto choice = SpanChoice(spanChoice_->currentIndex());
    const std::optional<TimeSpan> span = ChosenSpan(
        choice, source_.Data(), from_->dateTime().toMSecsSinceEpoch(), to_->dateTime().toMSecsSinceEpoch());
    chart_->ShowSpan(span ? span->from : 0, span ? span->to : 0);
    zoomed_ = false;
}

void ViewerWindow::ShowSpanEnds(const TimeSpan& span) {
    // The fields hold the user's own span while "From … to …" is chosen.
    if (SpanChoice(spanChoice_->currentIndex()) == FromTo || source_.Data().Size() == 0)
        return;
    for (auto [edit, ms] : {std::pair{from_, span.from}, std::pair{to_, span.to}}) {
        const QSignalBlocker quiet(edit);
        edit->setDateTime(QDateTime::fromMSecsSinceEpoch(ms));
    }
}

void ViewerWindow::UpdateStatistics() {
    const Trend& trend = source_.Data();
    const ChannelInfos& channels = source_.Channels();
    const std::vector<LimitPeriod>& periods = chart_->Periods();
    // A row per shown channel only: a hidden row would still be read out.
    const std::vector<QStringList> rows =
        StatisticsRows(trend, channels, ShownChannels(), chart_->Span(), periods);
    statistics_->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row)
        SetRow(statistics_, row, rows[std::size_t(row)]);
    periodsModel_->Show(&trend, &channels, periods);
    alarms_->ShowSpan(chart_->Span());
    tables_->setTabText(1, tr("Periods &outside limits (%1)").arg(periods.size()));
}

void ViewerWindow::ShowPointer(qint64 utcMs) {
    const Trend& trend = source_.Data();
    const qint64 i = NearestRecord(trend, chart_->Span(), utcMs);
    if (i < 0)
        return;
    readOut_->setText(ReadOutText(trend, i, ShownChannels(), source_.Channels()));
}

void ViewerWindow::ShowProblems() {
    QStringList problems = source_.Errors() + source_.LimitProblems() + alarms_->Problems();
    if (!exportProblem_.isEmpty())
        problems += exportProblem_;
    problems_->setText(problems.join(u'\n'));
    problems_->setVisible(!problems.isEmpty());
}

void ViewerWindow::Follow() {
    alarms_->Follow(); // the alarms are followed always: they are what is wrong now
    if (follow_->isChecked())
        FollowData();
    WatchFollowed();
}

void ViewerWindow::WatchFollowed() {
    QStringList paths;
    if (follow_->isChecked()) {
        paths = alarms_->Events().Paths();
        if (const QStringList files = source_.Files(); !files.isEmpty())
            paths += files.back();
    }
    watch_->Watch(paths);
}

void ViewerWindow::FollowData() {
    const FollowRedraw redraw =
        AfterFollowStep(source_.FollowStep(), zoomed_, SpanChoice(spanChoice_->currentIndex()) == FromTo);
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
        return WriteCsv(out, source_.Data(), source_.Channels(), ShownChannels(), chart_->Span());
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
    const Trend& trend = source_.Data();
    const ChannelInfos& channels = source_.Channels();
    const std::vector<LimitPeriod>& periods = chart_->Periods();
    return WritePdf(out, chart_->grab(),
                    {{StatisticsTitle,
                      StatisticsHeadings(),
                      StatisticsRows(trend, channels, ShownChannels(), chart_->Span(), periods),
                      {}},
                     {PeriodsTitle, PeriodHeadings(), PeriodRows(trend, channels, periods), {}},
                     {EventsTitle, EventHeadings(), alarms_->ShownEvents(), {}}});
}

} // namespace tarvek
