#pragma once

#include "common/Declarations.h"

#include <QString>

namespace tarvek {

// What the acquisition control shows the operator. The windows implement it;
// tests record it. Every call only shows: none of them may call back into the
// acquisition control.
class AcquisitionView {
  public:
    virtual ~AcquisitionView() = default;

    // The acquisition state text (status panel 5).
    virtual void ShowState(const QString& text) = 0;
    // The acquisition lamp, a colour value with red in the low byte. Yellow
    // shows before the caller goes on (a poll's first byte among others); the
    // other colours with the window's next paint, together with the rest of
    // what the caller shows.
    virtual void ShowLamp(int colour) = 0;
    // Start hidden and Stop shown while `acquiring`, the other way round otherwise.
    virtual void ShowAcquiring(bool acquiring) = 0;
    // The value texts of channels 1..8 (index 1..8), exactly as they are.
    virtual void ShowReadings(const Declarations::TextTable& values) = 0;
    // Whether the last record that was due could not be stored (status panel 1).
    virtual void ShowStoreFailure(bool failed) = 0;
    // The serial line could not be opened at Start; `reason` names the port
    // and why.
    virtual void ShowSerialLineError(const QString& reason) = 0;
};

// Lamp colours: 24-bit values with red in the low byte.
inline constexpr int LampRed = 255;
inline constexpr int LampGreen = 65280;
inline constexpr int LampYellow = 65535;

} // namespace tarvek
