#include "data/VisualizationData.h"

void ShowReadings(const Declarations& d, AcquisitionView& view) {
    view.ShowReadings(d.ChannelValue);
}
