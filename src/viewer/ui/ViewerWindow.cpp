#include "viewer/ui/ViewerWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "viewer/CsvExport.h"

namespace tarvek {

namespace {

constexpr qint64 HourMs = 3'600'000;

QString TimeText(const Trend& trend, qint64 i) {
    return QString::fromLatin1(LocalTimeText(trend.LocalMs(i))).replace(u'T', u' ');
}

QPushButton* Button(const QString& text, QWidget* parent, QLayout* layout) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(QString(text).remove(u'&').remove(QStringLiteral("…")));
    layout->addWidget(button);
    return button;
}

} // namespace

ViewerWindow::ViewerWindow(QTimeZone zone, QWidget* parent) : QMainWindow(parent), source_(std::move(zone)) {
    setWindowTitle(QStringLiteral("TARVEK trends"));
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* panel = new QWidget(splitter);
    BuildControls(panel);

    auto* right = new QSplitter(Qt::Vertical, splitter);
    auto* chartBox = new QWidget(right);
    auto* chartLayout = new QVBoxLayout(chartBox);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    problems_ = new QLabel(chartBox);
    problems_->setWordWrap(true);
    problems_->setStyleSheet(QStringLiteral("color: #b00000"));
    problems_->setAccessibleName(QStringLiteral("Problems"));
    problems_->hide();
    chart_ = new TrendChart(chartBox);
    chart_->setAccessibleName(QStringLiteral("Trend chart"));
    chart_->setAccessibleDescription(
        QStringLiteral("Values against time; the statistics table below gives the same span in text"));
    chart_->setMinimumSize(480, 300);
    readOut_ = new QLabel(QStringLiteral("Point at the chart to read values."), chartBox);
    readOut_->setAccessibleName(QStringLiteral("Values under the pointer"));
    readOut_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chartLayout->addWidget(problems_);
    chartLayout->addWidget(chart_, 1);
    chartLayout->addWidget(readOut_);

    statistics_ = new QTableWidget(Declarations::ChannelCount, 8, right);
    statistics_->setAccessibleName(QStringLiteral("Statistics of the visible span"));
    statistics_->setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Count"),
                                            QStringLiteral("Gaps"), QStringLiteral("Minimum"),
                                            QStringLiteral("at"), QStringLiteral("Maximum"),
                                            QStringLiteral("at"), QStringLiteral("Mean")});
    statistics_->verticalHeader()->hide();
    statistics_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    statistics_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    statistics_->horizontalHeader()->setStretchLastSection(true);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    connect(chart_, &TrendChart::SpanChanged, this, [this](const TimeSpan& span) {
        zoomed_ = true;
        UpdateStatistics(span);
    });
    connect(chart_, &TrendChart::PointerAt, this, &ViewerWindow::ShowPointer);
    connect(chart_, &TrendChart::ResetRequested, this, &ViewerWindow::ApplySpanChoice);

    followTimer_ = new QTimer(this);
    followTimer_->setInterval(1000);
    connect(followTimer_, &QTimer::timeout, this, &ViewerWindow::Follow);
    followTimer_->start();
    resize(1200, 800);
}

void ViewerWindow::BuildControls(QWidget* panel) {
    auto* layout = new QVBoxLayout(panel);
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
    spanChoice_->setCurrentIndex(All);
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
        from_->setEnabled(choice == FromTo);
        to_->setEnabled(choice == FromTo);
        ApplySpanChoice();
    });
    for (QDateTimeEdit* edit : {from_, to_})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (spanChoice_->currentIndex() == FromTo)
                ApplySpanChoice();
        });

    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        auto* box = new QCheckBox(panel);
        box->setChecked(true);
        QPixmap swatch(12, 12);
        swatch.fill(TrendChart::ChannelColor(k));
        box->setIcon(swatch);
        layout->addWidget(box);
        channelBoxes_[k] = box;
        connect(box, &QCheckBox::toggled, this, [this] {
            chart_->SetData(&source_.Data(), source_.Channels(), ShownMask());
            UpdateStatistics(chart_->Span());
        });
    }

    follow_ = new QCheckBox(tr("Fo&llow the newest file"), panel);
    follow_->setChecked(true);
    follow_->setAccessibleName(tr("Follow the newest file"));
    layout->addWidget(follow_);
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
    layout->addStretch(1);
}

std::vector<int> ViewerWindow::ShownChannels() const {
    std::vector<int> shown;
    for (int k = 0; k < Declarations::ChannelCount; ++k)
        if (channelBoxes_[k]->isChecked())
            shown.push_back(k);
    return shown;
}

std::array<bool, Declarations::ChannelCount> ViewerWindow::ShownMask() const {
    std::array<bool, Declarations::ChannelCount> shown{};
    for (int k = 0; k < Declarations::ChannelCount; ++k)
        shown[k] = channelBoxes_[k]->isChecked();
    return shown;
}

void ViewerWindow::Open(const QStringList& paths) {
    source_.Open(paths);
    ShowProblems(source_.Errors());
    setWindowTitle(QStringLiteral("TARVEK trends - ") + QDir::toNativeSeparators(paths.join(u' ')));
    const Trend& trend = source_.Data();
    if (trend.Size() > 0) {
        const QDateTime last = QDateTime::fromMSecsSinceEpoch(trend.UtcMs(trend.Size() - 1));
        from_->setDateTime(QDateTime::fromMSecsSinceEpoch(trend.UtcMs(0)));
        to_->setDateTime(last);
    }
    ShowData();
    ApplySpanChoice();
}

void ViewerWindow::ShowData() {
    const ChannelInfos& channels = source_.Channels();
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        channelBoxes_[k]->setText(channels[k].Heading());
        channelBoxes_[k]->setAccessibleName(QStringLiteral("Show ") + channels[k].Heading());
    }
    chart_->SetData(&source_.Data(), channels, ShownMask());

    const Trend& trend = source_.Data();
    const ReadTally tally = source_.Tally();
    QString status = tr("%1 files, %2 records").arg(source_.Files().size()).arg(trend.Size());
    if (tally.Skipped() > 0)
        status += tr("; skipped: %1 blank, %2 not data records, %3 past the header's count, %4 torn")
                      .arg(tally.blank)
                      .arg(tally.notData)
                      .arg(tally.uncounted)
                      .arg(tally.torn);
    statusBar()->showMessage(status);
}

void ViewerWindow::ApplySpanChoice() {
    const Trend& trend = source_.Data();
    qint64 first = 0, last = 0;
    for (qint64 i = 0; i < trend.Size(); ++i) {
        first = i == 0 ? trend.UtcMs(i) : std::min(first, trend.UtcMs(i));
        last = i == 0 ? trend.UtcMs(i) : std::max(last, trend.UtcMs(i));
    }
    static constexpr qint64 lengths[] = {HourMs, 24 * HourMs, 7 * 24 * HourMs, 31 * 24 * HourMs};
    const int choice = spanChoice_->currentIndex();
    if (choice == FromTo)
        chart_->ShowSpan(from_->dateTime().toMSecsSinceEpoch(), to_->dateTime().toMSecsSinceEpoch() + 999);
    else if (choice == All)
        chart_->ShowSpan(first, last);
    else
        chart_->ShowSpan(last - lengths[choice], last);
    zoomed_ = false;
}

void ViewerWindow::UpdateStatistics(const TimeSpan& span) {
    const Trend& trend = source_.Data();
    const ChannelInfos& channels = source_.Channels();
    const auto set = [this](int row, int column, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        if (column > 0)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        statistics_->setItem(row, column, item);
    };
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        const ChannelStatistics s = ComputeStatistics(trend, k, span);
        const bool any = s.count > 0;
        set(k, 0, channels[k].Heading());
        set(k, 1, QString::number(s.count));
        set(k, 2, QString::number(s.gaps));
        set(k, 3, any ? QString::fromLatin1(trend.Value(k, s.minimum).Text()) : QString());
        set(k, 4, any ? TimeText(trend, s.minimum) : QString());
        set(k, 5, any ? QString::fromLatin1(trend.Value(k, s.maximum).Text()) : QString());
        set(k, 6, any ? TimeText(trend, s.maximum) : QString());
        set(k, 7, any ? QString::number(s.mean, 'f', 3) : QString());
        statistics_->setRowHidden(k, !channelBoxes_[k]->isChecked());
    }
}

void ViewerWindow::ShowPointer(qint64 utcMs) {
    const Trend& trend = source_.Data();
    const qint64 i = NearestRecord(trend, chart_->Span(), utcMs);
    if (i < 0)
        return;
    QStringList parts{TimeText(trend, i)};
    for (const int k : ShownChannels()) {
        const StoredValue v = trend.Value(k, i);
        parts += source_.Channels()[k].Heading() + QStringLiteral(": ") +
                 (v.IsGap() ? (v.IsNoData() ? tr("No Data") : tr("invalid")) : QString::fromLatin1(v.Text()));
    }
    readOut_->setText(parts.join(QStringLiteral("   ")));
}

void ViewerWindow::ShowProblems(const QStringList& problems) {
    problems_->setText(problems.join(u'\n'));
    problems_->setVisible(!problems.isEmpty());
}

void ViewerWindow::Follow() {
    if (!follow_->isChecked())
        return;
    const TrendSource::Change change = source_.Poll();
    if (change == TrendSource::Change::None)
        return;
    ShowProblems(source_.Errors());
    ShowData();
    if (zoomed_ || spanChoice_->currentIndex() == FromTo) {
        chart_->Refresh();
        UpdateStatistics(chart_->Span());
    } else {
        ApplySpanChoice(); // the chosen span moves on with the newest record
    }
}

bool ViewerWindow::ExportTo(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString error;
    bool done = false;
    if (suffix == u"png") {
        done = chart_->grab().save(path, "PNG");
    } else if (suffix == u"pdf") {
        QPdfWriter pdf(path);
        pdf.setPageOrientation(QPageLayout::Landscape);
        pdf.setResolution(150);
        QPainter painter;
        if (painter.begin(&pdf)) {
            const QRect page = painter.viewport();
            const QPixmap chart = chart_->grab(), table = statistics_->grab();
            const int tableHeight = page.width() * table.height() / std::max(1, table.width());
            painter.drawPixmap(QRect(0, 0, page.width(), page.height() - tableHeight), chart);
            painter.drawPixmap(QRect(0, page.height() - tableHeight, page.width(), tableHeight), table);
            done = painter.end();
        }
    } else {
        done = ExportCsv(path, source_.Data(), source_.Channels(), ShownChannels(), chart_->Span(), &error);
    }
    if (!done)
        ShowProblems({error.isEmpty() ? tr("%1: cannot write").arg(QDir::toNativeSeparators(path)) : error});
    return done;
}

} // namespace tarvek
