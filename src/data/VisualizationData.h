#pragma once

#include "acquisition/AcquisitionView.h"
#include "app/Declarations.h"

// Shows ChannelValue(1..8) in the readings of `view`, unchanged: the leading
// blanks right-align the values in the labels' fixed-pitch font.
void ShowReadings(const Declarations& d, AcquisitionView& view);
