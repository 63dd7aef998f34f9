#include "ui/FormChannels.h"

#include "common/TextHelpers.h"
#include "config/EntryChecks.h"
#include "config/GettingParameters.h"
#include "config/SetUpEntries.h"
#include "config/SettingRecords.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "ui/Backdrop.h"
#include "ui/Messages.h"
#include "ui/Pictures.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace tarvek {

namespace {

// Top edge of Frame1 in the form; only its left edge is centred.
constexpr int FrameTop = 12;

QString Indexed(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QLineEdit* EntryBox(const QString& objectName, const QString& accessibleName, int characters,
                    QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(objectName);
    box->setAccessibleName(accessibleName);
    const int width = box->fontMetrics().horizontalAdvance(QString(characters, u'0'));
    box->setMinimumWidth(width + 16);
    box->setMaximumWidth(width + 16);
    return box;
}

QPushButton* Button(const QString& objectName, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    return button;
}

// A reading box: a label that paints what its group box shows behind it, so
// a new reading repaints the box alone.
class ReadingBox final : public QLabel {
  public:
    explicit ReadingBox(QWidget* parent) : QLabel(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

  protected:
    bool event(QEvent* event) override {
        backdrop_.ForgetOn(*event);
        return QLabel::event(event);
    }
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        backdrop_.Draw(*this, painter);
        painter.end();
        QLabel::paintEvent(event);
    }

  private:
    Backdrop backdrop_;
};

// The entry check runs when the focus moves on to another control of the
// window, not when the box's own context menu opens or the operator switches
// to another application: the box keeps its focus then and the operator is
// not done with it. (Checking an empty serial-line box as its menu opens
// would turn it into "1" before a paste.)
bool ChecksOnFocusLoss(const QFocusEvent* event) {
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

} // namespace

int CentredLeft(int screenWidth, int frameWidth) {
    const int twice = screenWidth - frameWidth;
    // Round down, also below zero (integer division would round towards 0).
    return twice >= 0 ? twice / 2 : -((1 - twice) / 2);
}

// ---------------------------------------------------------------------------

FormChannels::FormChannels(Declarations& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("FormChannels"));
    setWindowTitle(QStringLiteral("Channels & Settings"));
    Build();
    CentreFrame();
}

QLabel* FormChannels::StaticLabel(const QString& objectName, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(objectName);
    label->setAccessibleName(caption);
    return label;
}

void FormChannels::Build() {
    frame1_ = new QWidget(this);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    auto* columns = new QHBoxLayout(frame1_);
    columns->setSpacing(16);
    auto* left = new QVBoxLayout;
    left->setSpacing(12);
    columns->addLayout(left);

    left->addWidget(BuildReadings());
    left->addWidget(BuildAcquisition());
    left->addStretch(1);
    columns->addWidget(BuildSetUp(), 0, Qt::AlignTop);

    // Tab order: the general boxes, then gain and offset row by row, then
    // the buttons.
    QList<QWidget*> order{text5_[5], text5_[4]};
    for (int n = 1; n <= Declarations::ChannelCount; ++n)
        order << text1_[n] << text2_[n];
    order << command1_ << command2_ << command3_ << command4_;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    for (int index : {SerialLineBox, StorageRateBox})
        text5_[index]->installEventFilter(this);
    connect(command1_, &QPushButton::clicked, this, &FormChannels::LoadCommand);
    connect(command2_, &QPushButton::clicked, this, &FormChannels::SaveCommand);

    shape1_->SetColour(LampGreen);
}

QGroupBox* FormChannels::BuildReadings() {
    // Readings: one row per channel, "Ch.n", the value, "Bar".
    auto* frame2 = new QGroupBox(QStringLiteral("Letture:"), frame1_);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* readings = new QGridLayout(frame2);
    readings->setHorizontalSpacing(10);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(fixed.pointSizeF() * 1.2);
    fixed.setBold(true);
    for (int n = 1; n <= Declarations::ChannelCount; ++n) {
        auto* caption = StaticLabel(Indexed("Label1", n - 1), DefaultChannelName(n), frame2);
        auto* value = new ReadingBox(frame2);
        value->setObjectName(Indexed("Label2", n));
        value->setAccessibleDescription(QStringLiteral("Reading of channel %1").arg(n));
        value->setFont(fixed);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(11, u'0')));
        value->setTextFormat(Qt::PlainText);
        auto* unit = StaticLabel(Indexed("Label3", n - 1), DefaultUnit, frame2);
        readings->addWidget(caption, n - 1, 0);
        readings->addWidget(value, n - 1, 1);
        readings->addWidget(unit, n - 1, 2);
        label2_[n] = value;
    }
    return frame2;
}

QGroupBox* FormChannels::BuildAcquisition() {
    // Acquisition: Start and Stop share one place, beside the lamp.
    auto* frame4 = new QGroupBox(QStringLiteral("Acquisizione:"), frame1_);
    frame4->setObjectName(QStringLiteral("Frame4"));
    auto* acquisition = new QGridLayout(frame4);
    command3_ = Button(QStringLiteral("Command3"), QStringLiteral("Start"), frame4);
    command4_ = Button(QStringLiteral("Command4"), QStringLiteral("Stop"), frame4);
    for (QPushButton* b : {command3_, command4_})
        b->setMinimumSize(110, 36);
    acquisition->addWidget(command3_, 0, 0);
    acquisition->addWidget(command4_, 0, 0);
    shape1_ = new Lamp(frame4);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    acquisition->addWidget(shape1_, 0, 1, Qt::AlignCenter);
    acquisition->setColumnStretch(2, 1);
    return frame4;
}

QGroupBox* FormChannels::BuildSetUp() {
    // Set-up: storage rate, serial line, gain and offset per channel.
    auto* frame3 = new QGroupBox(QStringLiteral("Set-Up:"), frame1_);
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto* setup = new QGridLayout(frame3);
    setup->setHorizontalSpacing(10);
    setup->addWidget(StaticLabel(Indexed("Label4", 5), QStringLiteral("Rate di memorizzazione"), frame3), 0,
                     0);
    // The storage rate's name stands right beside its box.
    auto* rate = new QHBoxLayout;
    rate->setSpacing(10);
    text5_[5] = EntryBox(Indexed("Text5", 5), QStringLiteral("Storage rate"), 2, frame3);
    rate->addWidget(text5_[5]);
    label9_5_ = new QLabel(frame3);
    label9_5_->setObjectName(Indexed("Label9", 5));
    label9_5_->setAccessibleDescription(QStringLiteral("Storage rate name"));
    label9_5_->setTextFormat(Qt::PlainText);
    label9_5_->setMinimumWidth(label9_5_->fontMetrics().horizontalAdvance(QStringLiteral("30 minutes  ")));
    rate->addWidget(label9_5_, 1);
    setup->addLayout(rate, 0, 1, 1, 3);
    setup->addWidget(StaticLabel(Indexed("Label4", 4), QStringLiteral("Linea seriale"), frame3), 1, 0);
    text5_[4] = EntryBox(Indexed("Text5", 4), QStringLiteral("Serial line"), 2, frame3);
    setup->addWidget(text5_[4], 1, 1);
    setup->setRowMinimumHeight(2, 8);
    setup->addWidget(StaticLabel(QStringLiteral("Label5"), QStringLiteral("Gain"), frame3), 3, 1);
    setup->addWidget(StaticLabel(QStringLiteral("Label6"), QStringLiteral("Offset"), frame3), 3, 2);
    for (int n = 1; n <= Declarations::ChannelCount; ++n) {
        const int row = n + 3;
        setup->addWidget(StaticLabel(Indexed("Label1", n + 7), DefaultChannelName(n), frame3), row, 0);
        text1_[n] = EntryBox(Indexed("Text1", n), QStringLiteral("Gain of channel %1").arg(n), 10, frame3);
        text2_[n] = EntryBox(Indexed("Text2", n), QStringLiteral("Offset of channel %1").arg(n), 10, frame3);
        setup->addWidget(text1_[n], row, 1);
        setup->addWidget(text2_[n], row, 2);
    }

    auto* image2 = new QLabel(frame3);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->setPixmap(GaugePicture(72));
    setup->addWidget(image2, 3, 3, 4, 1, Qt::AlignCenter);
    auto* image1 = new QLabel(frame3);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(TracePicture(QSize(120, 72)));
    setup->addWidget(image1, 7, 3, 5, 1, Qt::AlignCenter);

    setup->setRowMinimumHeight(12, 8);
    command1_ = Button(QStringLiteral("Command1"), QStringLiteral("Load"), frame3);
    command2_ = Button(QStringLiteral("Command2"), QStringLiteral("Save"), frame3);
    command1_->setIcon(QIcon(LoadPicture(32)));
    command2_->setIcon(QIcon(SavePicture(32)));
    for (QPushButton* b : {command1_, command2_}) {
        b->setIconSize(QSize(24, 24));
        b->setMinimumHeight(36);
    }
    setup->addWidget(command1_, 13, 1);
    setup->addWidget(command2_, 13, 2);
    setup->setRowStretch(14, 1);
    return frame3;
}

void FormChannels::CentreFrame() {
    frame1_->adjustSize();
    const QScreen* display = screen();
    const int screenWidth = display ? display->geometry().width() : frame1_->width();
    frame1_->move(CentredLeft(screenWidth, frame1_->width()), FrameTop);
}

void FormChannels::ShowAcquiring(bool acquiring) {
    QPushButton* shown = acquiring ? command4_ : command3_;
    QPushButton* hidden = acquiring ? command3_ : command4_;
    // Left to itself, the focus would move on along the chain to a set-up box,
    // whose blinking cursor repaints the window twice a second from then on.
    const bool hadFocus = focusWidget() == hidden;
    shown->setVisible(true);
    if (hadFocus)
        shown->setFocus(Qt::OtherFocusReason);
    hidden->setVisible(false);
}

QLineEdit* FormChannels::Text1(int n) const {
    return IsChannelNumber(n) ? text1_[n] : nullptr;
}

QLineEdit* FormChannels::Text2(int n) const {
    return IsChannelNumber(n) ? text2_[n] : nullptr;
}

QLineEdit* FormChannels::Text5(int index) const {
    return index == SerialLineBox || index == StorageRateBox ? text5_[index] : nullptr;
}

QLabel* FormChannels::Label2(int n) const {
    return IsChannelNumber(n) ? label2_[n] : nullptr;
}

QLabel* FormChannels::Label9(int index) const {
    return index == 5 ? label9_5_ : nullptr;
}

void FormChannels::SetLampColour(int value) {
    shape1_->SetColour(value);
}

int FormChannels::LampColour() const {
    return shape1_->Colour();
}

void FormChannels::Activate() {
    if (activated_)
        return;
    activated_ = true;
    command4_->hide();
    command3_->show();
    FillChannelBoxes();
    ShowGeneralParameters();
}

void FormChannels::FillChannelBoxes() {
    for (int n = 1; n <= Declarations::ChannelCount; ++n) {
        text1_[n]->setText(state_.SetUp.ChannelParam[n][Declarations::Gain]);
        text2_[n]->setText(state_.SetUp.ChannelParam[n][Declarations::Zero]);
    }
}

void FormChannels::ShowGeneralParameters() {
    text5_[SerialLineBox]->setText(TrimBlanks(state_.SetUp.GeneralValue[SerialLineRecord]));
    text5_[StorageRateBox]->setText(TrimBlanks(state_.SetUp.GeneralValue[StorageRateRecord]));
    label9_5_->setText(
        StorageRateCaption(state_.StorageRateName, state_.SetUp.GeneralValue[StorageRateRecord]));
}

void FormChannels::CheckGeneralEntry(int index) {
    QLineEdit* box = Text5(index);
    if (!box)
        return;
    const EntryCheck check = CheckEntry(state_.StorageRateName, index, box->text());
    if (check.text != box->text())
        box->setText(check.text);
    if (check.setsCaption)
        label9_5_->setText(check.caption);
}

void FormChannels::ShowReadings(const Declarations::TextTable& values) {
    // The window is laid out once for the first readings; from then on each
    // box keeps that size (eleven digits hold any nine-character reading), so
    // a new text asks for no layout and a scan only repaints the boxes.
    if (!readingSizesFixed_ && isVisible() && !label2_[1]->text().isEmpty()) {
        for (int n = 1; n <= Declarations::ChannelCount; ++n)
            label2_[n]->setFixedSize(label2_[n]->size());
        readingSizesFixed_ = true;
    }
    for (int n = 1; n <= Declarations::ChannelCount; ++n)
        label2_[n]->setText(values[n]);
}

bool FormChannels::eventFilter(QObject* watched, QEvent* event) {
    for (int index : {SerialLineBox, StorageRateBox}) {
        if (watched != text5_[index])
            continue;
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                CheckGeneralEntry(index);
        } else if (event->type() == QEvent::FocusOut && ChecksOnFocusLoss(static_cast<QFocusEvent*>(event))) {
            CheckGeneralEntry(index);
        }
    }
    return QWidget::eventFilter(watched, event); // the key goes on to the box unchanged
}

void FormChannels::LoadCommand() {
    const LoadedSetUp loaded = LoadSetUp(state_.AppFolder, state_.SetUp);
    if (!loaded.setUp) {
        ShowMessage(this, QMessageBox::Warning, MessageTitle,
                    QStringLiteral("The set-up could not be loaded; the one in use is kept:\n\n") +
                        loaded.failures.join(u'\n'));
        return;
    }
    state_.SetUp = *loaded.setUp;
    FillChannelBoxes();
    ShowGeneralParameters();
    emit SetUpLoaded();
}

SetUpEntries FormChannels::Entries() const {
    SetUpEntries entries{{}, {}, text5_[SerialLineBox]->text(), text5_[StorageRateBox]->text()};
    for (int n = 1; n <= Declarations::ChannelCount; ++n) {
        entries.gains[n - 1] = text1_[n]->text();
        entries.zeros[n - 1] = text2_[n]->text();
    }
    return entries;
}

void FormChannels::SaveCommand() {
    const QStringList failures = SaveSetUp(state_.AppFolder, state_.SetUp.GeneralLabel, Entries());
    if (!failures.isEmpty())
        ShowMessage(this, QMessageBox::Warning, MessageTitle,
                    QStringLiteral("The set-up could not be saved:\n\n") + failures.join(u'\n'));
}

void FormChannels::closeEvent(QCloseEvent* event) {
    // The program relies on this window for its whole run.
    event->ignore();
}

} // namespace tarvek
