#pragma once

#include "app/Declarations.h"

class FormChannels;

// Puts ChannelValue(1..8) into the reading labels Label2(1..8), unchanged:
// the leading blanks right-align the values in the labels' fixed-pitch font.
void ShowReadings(const Declarations& d, FormChannels& form);
