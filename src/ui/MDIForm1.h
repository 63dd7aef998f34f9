#pragma once

#include "acquisition/AcquisitionView.h"
#include "common/Clock.h"
#include "common/Declarations.h"

#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QTimer;

namespace tarvek {

class Acquisition;
class FormChannels;

// The main window: frame for "Channels & Settings", Exit menu, status panels
// 1..7 and Timer1 (200 ms clock tick). Nothing acts before Load(), which main
// calls once before showing it. As the AcquisitionView it shows the state in
// panel 5, store failures in panel 1, and the settings window's controls.
class MDIForm1 : public QMainWindow, public AcquisitionView {
    Q_OBJECT
  public:
    MDIForm1(Declarations& state, const WallClock& clock, QWidget* parent = nullptr);
    ~MDIForm1() override;

    // The load step: creates FormChannels (which centres its content) and
    // shows it maximised, runs StartProgram, fills the settings window
    // (its activation) and starts Timer1. A file that cannot be read is
    // reported in one warning box. Runs once; later calls do nothing.
    void Load();

    FormChannels* ChannelsForm() const { return form_; } // nullptr before Load()
    QMdiArea* MdiArea() const { return mdiArea_; }

    // Status bar panels, n from 1 to 7; other numbers are ignored / give "".
    void SetPanel(int n, const QString& text);
    QString Panel(int n) const;

    QTimer* Timer1() const { return timer1_; }
    QAction* Exitm() const { return exitm_; }

    // Handler of Timer1: acts once per new wall-clock second. Writes the date
    // and time into panel 6; in stand-by writes " Acquisition in stand by "
    // into panel 5; while AcquisitionFlag is "1" emits ActiveSecond.
    void ClockTick();

    // Connects the acquisition control: the active seconds, the clicks on
    // Start and Stop and, after Load(), each Load of the set-up go to it for
    // as long as it lives.
    void Attach(Acquisition& acquisition);

    // AcquisitionView. Before Load() only the panels show anything.
    void ShowState(const QString& text) override;
    void ShowLamp(int colour) override;
    void ShowAcquiring(bool acquiring) override;
    void ShowReadings(const Declarations::TextTable& values) override;
    void ShowStoreFailure(bool failed) override;
    void ShowSerialLineError(const QString& reason) override;

    // Handler of Exit: ends the program at once.
    void ExitCommand();

  signals:
    // At every acting tick while acquisition is active, after panel 6 was
    // written, with the second's time text ("hh:mm:ss"). The tick does not
    // guard against being re-entered: a receiver that lets events run may see
    // a later second arrive before it has returned, and keeps its own limits.
    void ActiveSecond(const QString& timeText);
    // Clicks on Start (Command3) and Stop (Command4).
    void StartClicked();
    void StopClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    Declarations& state_;
    const WallClock& clock_;
    bool loaded_ = false;

    QMdiArea* mdiArea_ = nullptr;
    QMdiSubWindow* formWindow_ = nullptr;
    FormChannels* form_ = nullptr;
    std::array<QLabel*, 8> panels_{}; // 1..7
    QAction* exitm_ = nullptr;
    QTimer* timer1_ = nullptr;
};

// Timer1 fires every 200 ms, on the 200 ms boundaries of the wall clock.
inline constexpr int Timer1Interval = 200;
// Time from `now` to the next 200 ms boundary of the clock: 1 to 200 ms.
int MillisecondsToNextTick(const QTime& now);

// Texts of the status bar and the window.
inline const QString MainTitle = QStringLiteral(" TARVEK     Data  Acqusition  System  ");
inline const QString ExitCaption = QStringLiteral("      Exit      ");
inline const QString PoweredByText = QStringLiteral("Powered by: ORVELLA");
// Panel 1 while storing fails, until a store succeeds again.
inline const QString DataNotStoredText = QStringLiteral(" Data not stored ");
inline const QString SerialLineErrorText = QStringLiteral(" ATTENTION: This serial line is not available   ");
inline const QString SerialLineErrorTitle = QStringLiteral(" Error ");

} // namespace tarvek
