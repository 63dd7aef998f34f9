#pragma once

#include "common/Declarations.h"
#include "config/SetUpEntries.h"
#include "ui/Lamp.h"

#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvek {

// Left edge that centres a frame of `frameWidth` on a screen of `screenWidth`:
// half the difference, rounded down (so negative when the frame is wider).
int CentredLeft(int screenWidth, int frameWidth);

// "Channels & Settings": readings, Start/Stop with the lamp, set-up entries.
// Object names are the names operators and issues use ("Text5(4)"; table in
// the README). Activate() runs once start-up has read the set-up; Start and
// Stop carry no logic here, the acquisition control connects to them.
class FormChannels : public QWidget {
    Q_OBJECT
  public:
    explicit FormChannels(Declarations& state, QWidget* parent = nullptr);

    // Control arrays, addressed by their element numbers (Text1/Text2/Label2:
    // 1..8; Text5: 4, 5; Label9: 5). Any other number gives nullptr.
    QLineEdit* Text1(int n) const;
    QLineEdit* Text2(int n) const;
    QLineEdit* Text5(int index) const;
    QLabel* Label2(int n) const;
    QLabel* Label9(int index) const;

    QPushButton* Command1() const { return command1_; } // Load
    QPushButton* Command2() const { return command2_; } // Save
    QPushButton* Command3() const { return command3_; } // Start
    QPushButton* Command4() const { return command4_; } // Stop
    QWidget* Frame1() const { return frame1_; }

    // The acquisition lamp, Shape1 (see Lamp::SetColour for when it paints).
    void SetLampColour(int value);
    int LampColour() const;

    // Stop in the place of Start while acquiring, Start otherwise. The button
    // that hides hands the keyboard focus to the one that takes its place.
    void ShowAcquiring(bool acquiring);

    // Label2(1..8) <- values[1..8].
    void ShowReadings(const Declarations::TextTable& values);

    // Activation: shows Start and hides Stop, fills the gain and offset boxes
    // from ChannelParam and shows the general parameters. It acts only the
    // first time: the frame re-activates its child whenever it regains the
    // focus, and filling again would undo the operator's edits and show Start
    // in the middle of an acquisition.
    void Activate();

    // Text5(4) <- the serial line value, Text5(5) <- the storage rate value,
    // both trimmed; Label9(5) <- the storage rate's name.
    void ShowGeneralParameters();

    // The entry check of Text5(index), as run on Enter and on focus loss.
    void CheckGeneralEntry(int index);

    // The Load and Save commands (clicks on Command1 and Command2). A file
    // that cannot be read or written is reported in a warning box.
    void LoadCommand();
    void SaveCommand();
    // What the set-up boxes hold, as Save writes it.
    SetUpEntries Entries() const;

  signals:
    // A Load took the set-up it read in use.
    void SetUpLoaded();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Build();
    // The three groups of Frame1, made in this order (the focus chain's).
    QGroupBox* BuildReadings();    // Frame2: Label2(1..8)
    QGroupBox* BuildAcquisition(); // Frame4: Start, Stop, the lamp
    QGroupBox* BuildSetUp();       // Frame3: Text5, Text1, Text2, Load, Save
    void CentreFrame();
    void FillChannelBoxes();
    QLabel* StaticLabel(const QString& objectName, const QString& caption, QWidget* parent);

    Declarations& state_;
    bool activated_ = false;
    bool readingSizesFixed_ = false;

    QWidget* frame1_ = nullptr;
    std::array<QLineEdit*, 9> text1_{}; // 1..8
    std::array<QLineEdit*, 9> text2_{}; // 1..8
    std::array<QLineEdit*, 6> text5_{}; // 4, 5
    std::array<QLabel*, 9> label2_{};   // 1..8
    QLabel* label9_5_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    Lamp* shape1_ = nullptr;
};

} // namespace tarvek
