#include "ui/MDIForm1.h"

#include "acquisition/Acquisition.h"
#include "common/TextHelpers.h"
#include "config/Starting.h"
#include "ui/FormChannels.h"
#include "ui/Messages.h"
#include "ui/Pictures.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

namespace tarvek {

namespace {

constexpr int PanelCount = 7;

// A status bar panel: its label in a holder of the same size. A new text in a
// bare label would lay out the status bar and the window; the holder asks for
// a new layout only on a change of font or style (a panel holds one line), so
// a new text repaints its own panel alone.
class PanelHolder final : public QWidget {
  public:
    PanelHolder(QLabel* label, QWidget* parent) : QWidget(parent), label_(label) { label->setParent(this); }
    QSize sizeHint() const override { return label_->sizeHint(); }
    QSize minimumSizeHint() const override { return label_->minimumSizeHint(); }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            updateGeometry();
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent*) override { label_->setGeometry(rect()); }

  private:
    QLabel* label_;
};

} // namespace

MDIForm1::MDIForm1(Declarations& state, const WallClock& clock, QWidget* parent)
    : QMainWindow(parent), state_(state), clock_(clock) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(MainTitle);
    setWindowIcon(WindowIcon());
    resize(1024, 720);

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName(QStringLiteral("MDIArea"));
    setCentralWidget(mdiArea_);

    // The one menu item acts on click; there is no drop-down.
    exitm_ = menuBar()->addAction(ExitCaption);
    exitm_->setObjectName(QStringLiteral("Exitm"));
    connect(exitm_, &QAction::triggered, this, &MDIForm1::ExitCommand);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    // Panels 1 and 2 stay empty; 5 (acquisition state) and 6 (date and time)
    // get the room.
    static constexpr int stretch[PanelCount + 1] = {0, 1, 1, 2, 2, 5, 5, 3};
    for (int n = 1; n <= PanelCount; ++n) {
        auto* panel = new QLabel;
        panel->setObjectName(QStringLiteral("Panel%1").arg(n));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        auto* holder = new PanelHolder(panel, bar);
        holder->setMinimumWidth(24);
        bar->addPermanentWidget(holder, stretch[n]);
        panels_[n] = panel;
    }
    SetPanel(7, PoweredByText);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    // 200 ms, kept in phase with the wall clock: each firing re-arms the timer
    // for the next 200 ms boundary of the clock, so a new second (and with it a
    // quarter-minute mark) is seen within a few milliseconds, and the error of
    // one interval never adds up.
    timer1_->setInterval(Timer1Interval);
    timer1_->setSingleShot(true);
    timer1_->setTimerType(Qt::PreciseTimer);
    connect(timer1_, &QTimer::timeout, this, [this] {
        timer1_->start(MillisecondsToNextTick(clock_.Now().time()));
        ClockTick();
    });
}

MDIForm1::~MDIForm1() = default;

void MDIForm1::Load() {
    if (loaded_)
        return;
    loaded_ = true;

    // The settings window; it centres its content when built.
    form_ = new FormChannels(state_);
    formWindow_ = mdiArea_->addSubWindow(form_);
    // The program relies on this window for its whole run: no close button
    // and no system menu with Close (closing is refused as well).
    formWindow_->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowMinMaxButtonsHint);
    formWindow_->show();
    formWindow_->raise();
    formWindow_->showMaximized();
    connect(form_->Command3(), &QPushButton::clicked, this, &MDIForm1::StartClicked);
    connect(form_->Command4(), &QPushButton::clicked, this, &MDIForm1::StopClicked);

    const QStringList failures = StartProgram(state_);
    for (const auto& [n, text] : SetStatusBar(state_.SetUp.SerialLine))
        SetPanel(n, text);
    form_->SetLampColour(LampRed);

    // Activation: Start shown, Stop hidden, the set-up boxes filled. It must
    // see what StartProgram read, so it runs here and not on the MDI area's
    // activation signal, which fires while the window is being shown.
    mdiArea_->setActiveSubWindow(formWindow_);
    form_->Activate();

    timer1_->start(MillisecondsToNextTick(clock_.Now().time()));

    if (!failures.isEmpty())
        ShowMessage(this, QMessageBox::Warning, MessageTitle,
                    QStringLiteral("The program starts in stand-by, but part of its set-up could not be "
                                   "read:\n\n") +
                        failures.join(u'\n'));
}

void MDIForm1::SetPanel(int n, const QString& text) {
    if (n >= 1 && n <= PanelCount)
        panels_[n]->setText(text);
}

QString MDIForm1::Panel(int n) const {
    return n >= 1 && n <= PanelCount ? panels_[n]->text() : QString();
}

void MDIForm1::ClockTick() {
    const ClockReading reading = ReadClock(clock_.Now(), state_.LastTickTime);
    if (!reading.newSecond)
        return;
    const QString& time = reading.time;
    state_.LastTickTime = time;
    state_.TodayStamp = reading.today;
    SetPanel(6, state_.TodayStamp + QStringLiteral("     ") + time);

    if (state_.AcquisitionFlag != QStringLiteral("1")) {
        SetPanel(5, StandByText);
        return;
    }
    emit ActiveSecond(time);
}

int MillisecondsToNextTick(const QTime& now) {
    return Timer1Interval - now.msecsSinceStartOfDay() % Timer1Interval;
}

void MDIForm1::Attach(Acquisition& acquisition) {
    connect(this, &MDIForm1::ActiveSecond, &acquisition, &Acquisition::ActiveSecond);
    connect(this, &MDIForm1::StartClicked, &acquisition, &Acquisition::Start);
    connect(this, &MDIForm1::StopClicked, &acquisition, &Acquisition::Stop);
    if (form_)
        connect(form_, &FormChannels::SetUpLoaded, &acquisition, &Acquisition::SetUpLoaded);
}

void MDIForm1::ShowState(const QString& text) {
    SetPanel(5, text);
}

void MDIForm1::ShowLamp(int colour) {
    if (form_)
        form_->SetLampColour(colour);
}

void MDIForm1::ShowAcquiring(bool acquiring) {
    if (form_)
        form_->ShowAcquiring(acquiring);
}

void MDIForm1::ShowReadings(const Declarations::TextTable& values) {
    if (form_)
        form_->ShowReadings(values);
}

void MDIForm1::ShowStoreFailure(bool failed) {
    SetPanel(1, failed ? DataNotStoredText : QString());
}

void MDIForm1::ShowSerialLineError(const QString& reason) {
    ShowMessage(this, QMessageBox::Warning, SerialLineErrorTitle, SerialLineErrorText, reason);
}

void MDIForm1::ExitCommand() {
    QCoreApplication::exit(0);
}

void MDIForm1::changeEvent(QEvent* event) {
    // The MDI area appends " - [Channels & Settings]" to the frame's title
    // while the child is maximised, which it always is; the frame keeps its
    // own title.
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != MainTitle)
        setWindowTitle(MainTitle);
    QMainWindow::changeEvent(event);
}

void MDIForm1::closeEvent(QCloseEvent* event) {
    // Closing the frame ends the program, even while a message box is open.
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace tarvek
