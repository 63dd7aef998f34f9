#pragma once

#include "viewer/TrendMath.h"
#include "viewer/TrendSource.h"

#include <QChartView>
#include <QColor>

#include <array>

class QDateTimeAxis;
class QLineSeries;
class QRubberBand;
class QValueAxis;

namespace tarvek {

class TraceItem;

// The chart of the shown channels against time. Qt Charts gives the axes
// and the legend; the lines themselves are drawn by one item
// from each channel's decimated trace, so gaps break them and the cost of a
// redraw follows the chart's width, not the number of records.
//
// Mouse: the wheel zooms the time axis around the pointer, a drag with the
// left button zooms into its rectangle, a drag with the middle button (or the
// left one with Shift held) pans. Keys: + and - zoom, the arrows pan, Home
// resets. Every change of the time axis is told by SpanChanged.
class TrendChart : public QChartView {
    Q_OBJECT
  public:
    explicit TrendChart(QWidget* parent = nullptr);

    // What to draw: the trend (kept by the caller), the channels' names and
    // which of them are shown. Redraws the current span.
    void SetData(const Trend* trend, const ChannelInfos& channels,
                 const std::array<bool, Declarations::ChannelCount>& shown);
    // Shows [from, to] (true time, ms), the value axis fitted to the lines.
    void ShowSpan(qint64 from, qint64 to);
    // The time axis as shown.
    TimeSpan Span() const;
    // Redraws after records were added.
    void Refresh();

    static QColor ChannelColor(int channel);

  signals:
    void SpanChanged(TimeSpan span);
    void PointerAt(qint64 utcMs); // the pointer's time over the plot
    void ResetRequested();

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Redraw(bool fitValues);
    void Zoom(double factor, double anchor); // anchor: 0..1 across the plot
    void Pan(double fraction);
    void ZoomInto(const QRectF& picked); // a rectangle of the plot area
    void SetTimeRange(qint64 from, qint64 to);

    const Trend* trend_ = nullptr;
    std::array<bool, Declarations::ChannelCount> shown_{};
    QDateTimeAxis* timeAxis_;
    QValueAxis* valueAxis_;
    std::array<QLineSeries*, Declarations::ChannelCount> series_{};
    TraceItem* traces_;
    bool valuesZoomed_ = false; // the user chose the value axis: keep it
    QPoint panFrom_;
    QRubberBand* band_;
    QPoint bandFrom_;
    bool panning_ = false;
    int columns_ = -1; // the plot's width when the traces were made
};

} // namespace tarvek
