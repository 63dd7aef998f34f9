// The viewer window's column of controls: what they are and what they ask
// for.
#include "viewer/ui/ViewerWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvek {

namespace {

QPushButton* Button(const QString& text, QWidget* parent, QLayout* layout) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(QString(text).remove(u'&').remove(QStringLiteral("…")));
    layout->addWidget(button);
    return button;
}

} // namespace

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
            chart_->SetShown(ShownChannels());
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

} // namespace tarvek
