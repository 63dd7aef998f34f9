#pragma once

#include "common/Declarations.h"
#include "common/RecordFile.h"

#include <QStringList>

#include <array>

namespace tarvek {

// Fills `names` (the state's StorageRateName) with the ten storage rate names
// in code order, slots 0..9; slot 10 stays empty.
void FillStorageRateNames(Declarations::RateNames& names);

// The start-up, run once by the main window before it fills the settings
// window: the rate names, the general, channel and instrument parameters, and
// the acquisition status file (read, never applied). Returns what could not be read, one line each.
QStringList StartProgram(Declarations& state);

// The status bar panels the start-up writes, in the order it writes them.
struct PanelText {
    int panel;
    QString text;
};
std::array<PanelText, 3> SetStatusBar(int serialLine);

QString SerialLinePanelText(int serialLine); // "Com:" and the number, a blank before a non-negative one
inline const QString VersionText = QStringLiteral("Ver. 05-02-08");

} // namespace tarvek
