#pragma once

#include "acquisition/AcquisitionView.h"
#include "common/Declarations.h"

namespace tarvek {

// Shows ChannelValue(1..8) in the readings of `view`, unchanged: the leading
// blanks right-align the values in the labels' fixed-pitch font.
void ShowReadings(const Declarations& state, AcquisitionView& view);

} // namespace tarvek
