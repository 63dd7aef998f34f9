#include "viewer/ChartLayout.h"

#include <algorithm>
#include <cmath>

namespace tarvek {

namespace {

// The layout with `axisWidth` left of the plots, each strip with its values.
FittedChart FittedWith(double axisWidth, const QSizeF& size, const TextMeasure& measure,
                       const std::vector<UnitGroup>& groups, const ChannelInfos& channels,
                       const StripValuesOf& valuesOf) {
    ChartLayout layout = LayOutStrips(size, axisWidth, measure, groups, channels);
    FittedChart chart{{}, std::move(layout.legend), axisWidth};
    for (StripPlace& place : layout.strips) {
        const StripValues values =
            valuesOf(place, std::max(1, int(place.plot.height() / (2 * measure.line))));
        chart.strips.push_back({std::move(place), values});
    }
    return chart;
}

// The room the value labels of `chart` want.
double LabelRoom(const FittedChart& chart, const TextMeasure& measure, const ChannelInfos& channels) {
    double labels = 0;
    for (const FittedStrip& strip : chart.strips) {
        for (const double v : {strip.values.low, strip.values.high})
            labels = std::max(labels, measure.width(strip.values.scale.Label(v)));
        labels = std::max(labels, measure.width(AxisUnit(strip.place.group, channels)));
    }
    return std::ceil(labels) + 8;
}

} // namespace

QString AxisUnit(const UnitGroup& group, const ChannelInfos& channels) {
    if (!group.unit.isEmpty() || group.channels.empty())
        return group.unit;
    return channels[std::size_t(group.channels.front())].unit;
}

ChartLayout LayOutStrips(const QSizeF& size, double axisWidth, const TextMeasure& measure,
                         std::vector<UnitGroup> groups, const ChannelInfos& channels) {
    const double line = measure.line;
    if (groups.empty())
        groups.push_back({});
    // Room beside the plots for half a time label, above each for half a
    // value label.
    const double left = ChartMargin + axisWidth,
                 right = size.width() - ChartMargin - measure.width(QStringLiteral("00:00:00")) / 2;
    ChartLayout layout;
    double headers = 0;
    for (UnitGroup& group : groups) {
        StripPlace strip{std::move(group), {}, 1};
        double x = left, row = 0;
        for (const int k : strip.group.channels) {
            QString text = channels[k].Heading();
            double w = LegendSwatch + 4 + measure.width(text) + 12;
            if (x + w > right && x > left)
                x = left, ++row;
            if (w > right - left) {
                text = measure.elide(text, std::max(10.0, right - left - LegendSwatch - 16));
                w = right - left;
            }
            // The row for now; its top once the strip's is known.
            layout.legend.push_back({k, QRectF(x, row, w, line), text});
            x += w;
        }
        strip.headerLines = int(row) + 1;
        headers += (strip.headerLines + 0.5) * line;
        layout.strips.push_back(std::move(strip));
    }
    const double count = double(layout.strips.size());
    const double bottom = 2 * line + ChartMargin;
    const double plots =
        std::max(20.0 * count, size.height() - ChartMargin - bottom - headers - StripGap * (count - 1));
    double y = ChartMargin;
    std::size_t entry = 0;
    for (StripPlace& strip : layout.strips) {
        for (std::size_t n = 0; n < strip.group.channels.size(); ++n, ++entry)
            layout.legend[entry].rect.moveTop(y + layout.legend[entry].rect.top() * line);
        y += (strip.headerLines + 0.5) * line;
        strip.plot = QRectF(left, y, std::max(10.0, right - left), plots / count);
        y += strip.plot.height() + StripGap;
    }
    return layout;
}

FittedChart FitStrips(const QSizeF& size, double axisWidth, const TextMeasure& measure,
                      const std::vector<UnitGroup>& groups, const ChannelInfos& channels,
                      const StripValuesOf& valuesOf) {
    FittedChart chart = FittedWith(axisWidth, size, measure, groups, channels, valuesOf);
    const double wanted = LabelRoom(chart, measure, channels);
    if (std::fabs(wanted - axisWidth) < 1)
        return chart;
    return FittedWith(wanted, size, measure, groups, channels, valuesOf);
}

} // namespace tarvek
