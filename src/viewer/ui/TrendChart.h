#pragma once

#include "viewer/ChartAxes.h"
#include "viewer/ChartLayout.h"
#include "viewer/ChartWindow.h"
#include "viewer/Decimate.h"
#include "viewer/EventSource.h"
#include "viewer/Limits.h"
#include "viewer/TrendSource.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <map>

class QRubberBand;

namespace tarvek {

// The shown channels against time, one strip per unit under a shared time
// axis, so only channels of one unit share a value axis. Lines come from the
// decimated traces, so a redraw costs the width, not the record count. Mouse
// and keys zoom and pan (see the README); every change emits SpanChanged.
class TrendChart : public QWidget {
    Q_OBJECT
  public:
    explicit TrendChart(QTimeZone zone = QTimeZone::systemTimeZone(), QWidget* parent = nullptr);

    // What to draw: the trend (kept by the caller), the channels' names and
    // limits and which of them are shown. Redraws the current span.
    void SetData(const Trend* trend, const ChannelInfos& channels, const std::vector<int>& shown);
    // Shows [from, to] (true time, ms), the value axes fitted to the lines.
    void ShowSpan(qint64 from, qint64 to);
    // The time axis as shown.
    TimeSpan Span() const { return {window_.from, window_.to, TimeSpan::Utc}; }
    // Redraws after records were added.
    void Refresh();
    // The event logs to mark on the time axis (kept by the caller), or none.
    void SetEvents(const EventSource* events);
    // Places the marks again after the logs changed.
    void RefreshMarks();

    // The strips as drawn: their units and channels, plot areas and value axes.
    const std::vector<FittedStrip>& Strips() const { return chart_.strips; }
    const std::vector<TimeTick>& Ticks() const { return ticks_; }
    // The periods outside the limits over the span, of the shown channels.
    const std::vector<LimitPeriod>& Periods() const { return periods_; }
    // The events' marks and the stretches of raised alarms over the span.
    const std::vector<TrendMark>& Marks() const { return marks_; }
    const std::vector<StretchBand>& Stretches() const { return stretches_; }

    static QColor ChannelColor(int channel);

  signals:
    void SpanChanged(TimeSpan span);
    void PointerAt(qint64 utcMs); // the pointer's time over the plot
    void ResetRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Redraw();
    StripValues ValuesOf(const StripPlace& place, int maxTicks); // decimates again for a wider plot
    void PaintStrip(QPainter& p, const FittedStrip& strip) const;
    const FittedStrip* StripAt(const QPointF& at) const;
    const QRectF& FirstPlot() const { return chart_.strips.front().place.plot; }
    const QRectF& LastPlot() const { return chart_.strips.back().place.plot; }
    QRectF PlotArea() const;             // of all plots
    PlotBand Band() const;               // the band of all plots, for the pointer and zoom
    void ZoomInto(const QRectF& picked); // a rectangle of the plot area
    void SetWindow(const ChartWindow& window);

    QTimeZone zone_;
    const Trend* trend_ = nullptr;
    ChannelInfos channels_;
    std::vector<int> shown_; // channel indexes, rising
    ChartWindow window_;
    std::array<Trace, ChannelCount> traces_;
    int columns_ = 0;   // the traces' width
    FittedChart chart_; // the plots start widest: no room for value labels yet
    std::vector<TimeTick> ticks_;
    std::vector<LimitPeriod> periods_;
    const EventSource* events_ = nullptr;
    std::vector<TrendMark> marks_;
    std::vector<StretchBand> stretches_;
    std::map<QString, std::pair<double, double>> valueZoom_; // strips whose values the user chose
    QRubberBand* band_;
    QPoint panFrom_, bandFrom_;
    bool panning_ = false;
};

} // namespace tarvek
