#include "viewer/ui/AlarmPane.h"

#include "viewer/ui/ReadOnlyTable.h"
#include "viewer/ui/TextLine.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarvek {

AlarmPane::AlarmPane(const ViewerSession& session, QWidget* parent) : QWidget(parent), session_(session) {
    auto* layout = new QVBoxLayout(this);
    watch_ = TextLine(this, tr("Whether anyone watches"));
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
        connect(button, &QPushButton::clicked, this, [this, all] { AskToAcknowledge(all); });
    }
    layout->addLayout(row);

    model_ = new EventsModel(this);
    table_ = ReadOnly(new QTableView(this), EventsTitle);
    table_->setModel(model_);
    layout->addWidget(table_, 2);
}

void AlarmPane::ShowSpanEvents() {
    model_->Show(&session_.Events().Events(), &session_.Source().Channels(), session_.SpanEvents());
}

void AlarmPane::ShowAlarms() {
    const AlarmFold& fold = session_.Events().Fold();
    const QString watch = WatchText(fold);
    watch_->setText(watch);
    watch_->setVisible(!watch.isEmpty());
    listed_ = AlarmsInOrder(fold);
    list_->setRowCount(int(listed_.size()));
    for (int r = 0; r < int(listed_.size()); ++r) {
        const QStringList cells = AlarmRow(listed_[std::size_t(r)], session_.Source().Channels());
        for (int c = 0; c < cells.size(); ++c)
            list_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    ShowSpanEvents();
}

void AlarmPane::AskToAcknowledge(bool all) {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (const std::vector<CurrentAlarm> chosen = ToAcknowledge(listed_, rows, all); !chosen.empty())
        emit AcknowledgeAsked(chosen, comment_->text());
}

void AlarmPane::ClearComment() {
    comment_->clear();
}

} // namespace tarvek
