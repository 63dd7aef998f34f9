#include "acquisition/VisualizationData.h"

namespace tarvek {

void ShowReadings(const Declarations& state, AcquisitionView& view) {
    view.ShowReadings(state.ChannelValue);
}

} // namespace tarvek
