#pragma once

#include <QRectF>
#include <QtGlobal>

namespace tarvek {

// The chart's horizontal band of plots, in pixels: where a pointer's x lies
// on the time axis.
struct PlotBand {
    double left = 0, width = 1;
};

// The time window the chart shows, [from, to] on the true time line (ms);
// never empty. Zoom, pan and a picked rectangle each give a new window.
struct ChartWindow {
    qint64 from = 0, to = 1000;

    // [from, to], or a second from `from` when `to` is not after it.
    static ChartWindow Of(qint64 from, qint64 to) { return {from, to > from ? to : from + 1000}; }
    // `factor` times as long (below 1 zooms in), the instant at `anchor`
    // (0..1 across the window) staying where it is.
    ChartWindow Zoomed(double factor, double anchor) const;
    // Moved by `fraction` of its length (negative: back in time).
    ChartWindow Panned(double fraction) const;
    // The time at the pointer's x over `band`, and the x of a time: one
    // placing undoes the other.
    qint64 TimeAt(double x, const PlotBand& band) const;
    double XAt(qint64 utcMs, const PlotBand& band) const;
    // The part between x1 and x2 over `band`.
    ChartWindow Picked(double x1, double x2, const PlotBand& band) const;
};

// The wheel zooms in by 0.8 per notch (an angle delta of 120) towards the
// pointer, and out as far the other way; the pointer's place across the band,
// 0..1, anchors it.
double WheelFactor(int angleDelta);
double AnchorAt(double x, const PlotBand& band);

// A rectangle drawn with the mouse zooms only from 3 pixels either way: less
// is a click.
bool IsPickedRectangle(const QRectF& picked);
// The value at height `y` of a plot spanning `low` at its bottom to `high`
// at its top: a rectangle picked in one strip zooms its values too.
double ValueAt(double y, const QRectF& plot, double low, double high);

// What a key does on the chart: "+" (or "=") zooms in to half, "-" out to
// double, Left and Right pan a tenth, Home shows the chosen span again.
struct KeyAction {
    enum Kind { None, Zoom, Pan, Reset };
    Kind kind = None;
    double amount = 0; // the zoom factor, or the fraction panned
    bool operator==(const KeyAction&) const = default;
};
KeyAction KeyActionOf(int key);

// What a drag on the plot does: the middle button, or the left one with Shift
// held, pans; the left one alone draws a rectangle to zoom into, and only its
// release ends the rectangle. The right button's release resets.
enum class ChartDrag { None, Pan, Zoom };
ChartDrag DragStartedBy(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
bool EndsZoomRectangle(Qt::MouseButton released);

} // namespace tarvek
