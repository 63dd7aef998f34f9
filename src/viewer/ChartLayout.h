#pragma once

#include "viewer/Channels.h"
#include "viewer/ChartAxes.h"

#include <QRectF>
#include <QSizeF>

#include <functional>
#include <vector>

namespace tarvek {

// Room around the chart, between strips, and the colour swatch of a legend
// entry, in pixels.
inline constexpr double ChartMargin = 6, StripGap = 8, LegendSwatch = 10;

// How wide a text is drawn, how it is cut to a width, and a line's height.
struct TextMeasure {
    std::function<double(const QString&)> width;
    std::function<QString(const QString&, double)> elide;
    double line = 0;
};

// A channel's entry in the legend above its strip: its swatch and heading,
// cut when wider than the strip.
struct LegendEntry {
    int channel;
    QRectF rect;
    QString text; // as drawn, maybe cut
};

// The unit a strip's value axis is labelled with: the one its legend shows,
// also for the channels the set-up names no unit for (the default).
QString AxisUnit(const UnitGroup& group, const ChannelInfos& channels);

// A strip's place: its unit and channels, its plot area, the lines of its
// legend above it.
struct StripPlace {
    UnitGroup group;
    QRectF plot;
    int headerLines = 1;
};

struct ChartLayout {
    std::vector<StripPlace> strips; // at least one, empty when no channel is shown
    std::vector<LegendEntry> legend;
};

// The strips of `groups` in a chart of `size`: each headed by as many legend
// lines as its headings need, the plots sharing out the height left (20
// pixels each at least), half a time label's room right of them, `axisWidth`
// left of them for the value labels, two lines under the last for the time
// labels.
ChartLayout LayOutStrips(const QSizeF& size, double axisWidth, const TextMeasure& measure,
                         std::vector<UnitGroup> groups, const ChannelInfos& channels);

// A strip laid out with the values its axis shows, and the chart of them.
struct FittedStrip {
    StripPlace place;
    StripValues values;
};
struct FittedChart {
    std::vector<FittedStrip> strips; // at least one
    std::vector<LegendEntry> legend;
    double axisWidth = 0; // the room left of the plots for the value labels
};
// The values a strip shows in its place, its axis of at most `maxTicks` steps.
using StripValuesOf = std::function<StripValues(const StripPlace& place, int maxTicks)>;

// The strips of `groups` (LayOutStrips) with their values, a step of the
// axis at least two lines high. The value labels decide the plots' width:
// laid out with `axisWidth` first, then once more when the labels of that
// layout (its ends' and the unit, 8 pixels added) want a pixel more or less;
// the labels of the new layout rarely differ again, and then keep the room
// they had.
FittedChart FitStrips(const QSizeF& size, double axisWidth, const TextMeasure& measure,
                      const std::vector<UnitGroup>& groups, const ChannelInfos& channels,
                      const StripValuesOf& valuesOf);

} // namespace tarvek
