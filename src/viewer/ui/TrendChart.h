#pragma once

#include "viewer/ChartAxes.h"
#include "viewer/ChartLayout.h"
#include "viewer/ChartWindow.h"
#include "viewer/Decimate.h"
#include "viewer/EventSource.h"
#include "viewer/Limits.h"
#include "viewer/TrendSource.h"
#include "viewer/ViewerSession.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <map>

class QRubberBand;

namespace tarvek {

// The shown channels of a session's trend against time, one strip per unit
// under a shared time axis, so only channels of one unit share a value axis;
// the periods outside the limits shaded, the events marked. Lines come from
// the decimated traces, so a redraw costs the width, not the record count.
// Mouse and keys zoom and pan (see the README); every change emits
// SpanChanged.
class TrendChart : public QWidget {
    Q_OBJECT
  public:
    // `session` stays the caller's, who tells it the span shown (ShowSpan)
    // before the chart paints: the chart shades the periods it holds.
    explicit TrendChart(const ViewerSession& session, QTimeZone zone = QTimeZone::systemTimeZone(),
                        QWidget* parent = nullptr);

    // The channels shown; redraws the current span, also after the
    // session's data changed.
    void SetShown(const std::vector<int>& shown);
    // Shows [from, to] (true time, ms), the value axes fitted to the lines.
    void ShowSpan(qint64 from, qint64 to);
    // The time axis as shown.
    TimeSpan Span() const { return {window_.from, window_.to, TimeSpan::Utc}; }
    // Redraws after records were added.
    void Refresh();
    // Places the marks again after the logs changed.
    void RefreshMarks();

    // The strips as drawn: their units and channels, plot areas and value axes.
    const std::vector<FittedStrip>& Strips() const { return chart_.strips; }
    const std::vector<TimeTick>& Ticks() const { return ticks_; }
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
    const Trend& Data() const { return session_.Source().Data(); }
    const ChannelInfos& Channels() const { return session_.Source().Channels(); }
    StripValues ValuesOf(const StripPlace& place, int maxTicks); // decimates again for a wider plot
    void PaintStrip(QPainter& p, const FittedStrip& strip) const;
    const FittedStrip* StripAt(const QPointF& at) const;
    const QRectF& FirstPlot() const { return chart_.strips.front().place.plot; }
    const QRectF& LastPlot() const { return chart_.strips.back().place.plot; }
    QRectF PlotArea() const;             // of all plots
    PlotBand Band() const;               // the band of all plots, for the pointer and zoom
    void ZoomInto(const QRectF& picked); // a rectangle of the plot area
    void SetWindow(const ChartWindow& window);

    const ViewerSession& session_;
    QTimeZone zone_;
    std::vector<int> shown_; // channel indexes, rising
    ChartWindow window_;
    std::array<Trace, ChannelCount> traces_;
    int columns_ = 0;   // the traces' width
    FittedChart chart_; // the plots start widest: no room for value labels yet
    std::vector<TimeTick> ticks_;
    std::vector<TrendMark> marks_;
    std::vector<StretchBand> stretches_;
    std::map<QString, std::pair<double, double>> valueZoom_; // strips whose values the user chose
    QRubberBand* band_;
    QPoint panFrom_, bandFrom_;
    bool panning_ = false;
};

} // namespace tarvek
