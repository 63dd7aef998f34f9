#include "data/VisualizationData.h"

#include "ui/FormChannels.h"

#include <QLabel>

void ShowReadings(const Declarations& d, FormChannels& form) {
    for (int i = 1; i <= Declarations::ChannelCount; ++i)
        form.Label2(i)->setText(d.ChannelValue[i]);
}
