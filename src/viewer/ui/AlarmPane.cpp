#include "viewer/ui/AlarmPane.h"

#include "data/EventLog.h"
#include "viewer/ui/ReadOnlyTable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <set>

namespace tarvek {

AlarmPane::AlarmPane(const ChannelInfos* channels, QTimeZone zone, QWidget* parent)
    : QWidget(parent), channels_(channels), events_(std::move(zone)) {
    auto* layout = new QVBoxLayout(this);
    watch_ = new QLabel(this);
    watch_->setTextFormat(Qt::PlainText);
    watch_->setAccessibleName(tr("Acquisition"));
    watch_->hide();
    layout->addWidget(watch_);

    list_ = ReadOnly(new QTableWidget(0, int(AlarmHeadings().size()), this), tr("Current alarms"));
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setHorizontalHeaderLabels(AlarmHeadings());
    // Room for three alarms however little the tab is given: the events
    // below scroll, the alarms are what is wrong now.
    list_->setMinimumHeight(list_->horizontalHeader()->sizeHint().height() +
                            3 * list_->verticalHeader()->defaultSectionSize() + 2 * list_->frameWidth());
    layout->addWidget(list_, 1);

    auto* row = new QHBoxLayout;
    comment_ = new QLineEdit(this);
    comment_->setPlaceholderText(tr("Comment (optional)"));
    comment_->setAccessibleName(tr("Comment"));
    row->addWidget(comment_, 1);
    for (const bool all : {false, true}) {
        auto* button = new QPushButton(all ? tr("Acknowledge a&ll") : tr("Ac&knowledge"), this);
        button->setAccessibleName(all ? tr("Acknowledge all") : tr("Acknowledge"));
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, all] { Acknowledge(all); });
    }
    layout->addLayout(row);

    model_ = new EventsModel(this);
    table_ = ReadOnly(new QTableView(this), EventsTitle);
    table_->setModel(model_);
    layout->addWidget(table_, 2);
}

void AlarmPane::Open(const QString& folder) {
    events_.Open(folder);
    acknowledgeProblem_.clear();
    ShowAlarms();
}

void AlarmPane::Follow() {
    if (events_.FollowStep())
        ShowAlarms();
}

void AlarmPane::ShowSpan(const TimeSpan& span) {
    span_ = span;
    shown_ = EventsInSpan(events_.Timeline(), span_);
    model_->Show(&events_.Events(), channels_, shown_);
}

std::vector<QStringList> AlarmPane::ShownEvents() const {
    std::vector<QStringList> rows;
    for (const std::size_t i : shown_)
        rows.push_back(EventRow(events_.Events()[i].event, *channels_));
    return rows;
}

void AlarmPane::ShowAlarms() {
    const AlarmFold& fold = events_.Fold();
    const QString watch = WatchText(fold);
    watch_->setText(watch);
    watch_->setVisible(!watch.isEmpty());
    listed_ = AlarmsInOrder(fold);
    list_->setRowCount(int(listed_.size()));
    for (int r = 0; r < int(listed_.size()); ++r) {
        const QStringList cells = AlarmRow(listed_[std::size_t(r)], *channels_);
        for (int c = 0; c < cells.size(); ++c)
            list_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    ShowSpan(span_);
    emit Changed();
}

bool AlarmPane::Acknowledge(bool all) {
    std::vector<CurrentAlarm> chosen;
    std::set<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.insert(index.row());
    for (int r = 0; r < int(listed_.size()); ++r)
        if ((all || rows.count(r) > 0) && listed_[std::size_t(r)].state != AlarmState::ActiveAcknowledged)
            chosen.push_back(listed_[std::size_t(r)]);
    if (chosen.empty())
        return true;
    const FileOutcome outcome =
        events_.Acknowledge(chosen, RealUserName(), comment_->text(), QDateTime::currentDateTime());
    acknowledgeProblem_ = outcome ? QString() : outcome.message;
    if (outcome)
        comment_->clear();
    ShowAlarms();
    return bool(outcome);
}

QStringList AlarmPane::Problems() const {
    QStringList problems = events_.Problems();
    if (!acknowledgeProblem_.isEmpty())
        problems += acknowledgeProblem_;
    return problems;
}

} // namespace tarvek
