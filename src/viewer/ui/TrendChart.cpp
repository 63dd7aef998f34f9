#include "viewer/ui/TrendChart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QRubberBand>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tarvek {

// Draws the decimated lines inside the plot area, each run of a trace as one
// polyline, a lone value as a dot.
class TraceItem : public QGraphicsItem {
  public:
    explicit TraceItem(QChart* chart) : QGraphicsItem(chart), chart_(chart) { setZValue(10); }

    std::array<Trace, Declarations::ChannelCount> traces;
    std::array<bool, Declarations::ChannelCount> shown{};
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;

    void Changed() {
        prepareGeometryChange();
        update();
    }
    QRectF boundingRect() const override { return chart_->plotArea(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        const QRectF area = chart_->plotArea();
        if (area.isEmpty() || xMax <= xMin || yMax <= yMin)
            return;
        painter->setClipRect(area);
        painter->setRenderHint(QPainter::Antialiasing, false);
        const double sx = area.width() / (xMax - xMin), sy = area.height() / (yMax - yMin);
        QPolygonF line;
        for (int k = 0; k < Declarations::ChannelCount; ++k) {
            if (!shown[k])
                continue;
            painter->setPen(QPen(TrendChart::ChannelColor(k), 1.5));
            for (const std::span<const QPointF> run : traces[k].Runs()) {
                line.clear();
                for (const QPointF& p : run)
                    line << QPointF(area.left() + (p.x() - xMin) * sx, area.bottom() - (p.y() - yMin) * sy);
                if (line.size() == 1)
                    painter->drawEllipse(line.first(), 1.5, 1.5);
                else
                    painter->drawPolyline(line);
            }
        }
    }

  private:
    QChart* chart_;
};

QColor TrendChart::ChannelColor(int channel) {
    static const QColor colors[Declarations::ChannelCount] = {
        QColor(0x1f77b4), QColor(0xd62728), QColor(0x2ca02c), QColor(0x9467bd),
        QColor(0xff7f0e), QColor(0x17becf), QColor(0x8c564b), QColor(0x7f7f7f)};
    return colors[channel];
}

TrendChart::TrendChart(QWidget* parent) : QChartView(new QChart, parent) {
    QChart* c = chart();
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->setAlignment(Qt::AlignTop);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setFormat(QStringLiteral("dd-MM-yyyy<br>HH:mm:ss"));
    timeAxis_->setTickCount(7);
    valueAxis_ = new QValueAxis;
    c->addAxis(timeAxis_, Qt::AlignBottom);
    c->addAxis(valueAxis_, Qt::AlignLeft);
    // Empty series: they carry the names and colours for the legend; the
    // traces are drawn by the item.
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        series_[k] = new QLineSeries;
        series_[k]->setColor(ChannelColor(k));
        c->addSeries(series_[k]);
        series_[k]->attachAxis(timeAxis_);
        series_[k]->attachAxis(valueAxis_);
    }
    traces_ = new TraceItem(c);
    // The rubber band is the view's own: the chart's zoom would change the
    // value axis after the time axis has been told, and be fitted over.
    setRubberBand(QChartView::NoRubberBand);
    band_ = new QRubberBand(QRubberBand::Rectangle, viewport());
    setRenderHint(QPainter::Antialiasing, false);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);

    // A new width needs new traces, but never a new value axis: its labels
    // change the plot's width, and fitting again could go on for ever.
    connect(c, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        if (int(area.width()) != columns_)
            Redraw(false);
        else
            traces_->Changed();
    });
}

void TrendChart::SetData(const Trend* trend, const ChannelInfos& channels,
                         const std::array<bool, Declarations::ChannelCount>& shown) {
    trend_ = trend;
    shown_ = shown;
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        series_[k]->setName(channels[k].Heading());
        series_[k]->setVisible(shown[k]);
        for (QLegendMarker* marker : chart()->legend()->markers(series_[k]))
            marker->setVisible(shown[k]);
    }
    Redraw(!valuesZoomed_);
}

TimeSpan TrendChart::Span() const {
    return {timeAxis_->min().toMSecsSinceEpoch(), timeAxis_->max().toMSecsSinceEpoch(), TimeSpan::Utc};
}

void TrendChart::SetTimeRange(qint64 from, qint64 to) {
    if (to <= from)
        to = from + 1000;
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
}

void TrendChart::ShowSpan(qint64 from, qint64 to) {
    valuesZoomed_ = false;
    SetTimeRange(from, to);
    Redraw(true);
    emit SpanChanged(Span());
}

void TrendChart::Refresh() {
    Redraw(!valuesZoomed_);
}

void TrendChart::Redraw(bool fitValues) {
    const TimeSpan span = Span();
    columns_ = int(chart()->plotArea().width());
    const int columns = std::max(1, columns_);
    double low = 0, high = 0;
    bool any = false;
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        traces_->shown[k] = shown_[k];
        traces_->traces[k] = trend_ && shown_[k] ? Decimate(*trend_, k, span, columns) : Trace{};
        for (const QPointF& p : traces_->traces[k].points) {
            low = any ? std::min(low, p.y()) : p.y();
            high = any ? std::max(high, p.y()) : p.y();
            any = true;
        }
    }
    if (fitValues) {
        if (!any)
            low = 0, high = 1;
        const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(high) * 0.05);
        valueAxis_->setRange(low - margin, high + margin);
        valueAxis_->applyNiceNumbers();
    }
    traces_->xMin = double(span.from);
    traces_->xMax = double(span.to);
    traces_->yMin = valueAxis_->min();
    traces_->yMax = valueAxis_->max();
    traces_->Changed();
}

void TrendChart::Zoom(double factor, double anchor) {
    const TimeSpan s = Span();
    const double width = double(s.to - s.from) * factor;
    const double at = double(s.from) + double(s.to - s.from) * anchor;
    SetTimeRange(qint64(at - width * anchor), qint64(at + width * (1 - anchor)));
    Redraw(!valuesZoomed_);
    emit SpanChanged(Span());
}

void TrendChart::ZoomInto(const QRectF& picked) {
    const QRectF area = chart()->plotArea();
    const TimeSpan s = Span();
    const double width = double(s.to - s.from);
    const double low = valueAxis_->min(), high = valueAxis_->max();
    SetTimeRange(s.from + qint64(width * (picked.left() - area.left()) / area.width()),
                 s.from + qint64(width * (picked.right() - area.left()) / area.width()));
    valuesZoomed_ = true;
    valueAxis_->setRange(low + (high - low) * (area.bottom() - picked.bottom()) / area.height(),
                         low + (high - low) * (area.bottom() - picked.top()) / area.height());
    Redraw(false);
    emit SpanChanged(Span());
}

void TrendChart::Pan(double fraction) {
    const TimeSpan s = Span();
    const qint64 shift = qint64(double(s.to - s.from) * fraction);
    SetTimeRange(s.from + shift, s.to + shift);
    Redraw(!valuesZoomed_);
    emit SpanChanged(Span());
}

void TrendChart::wheelEvent(QWheelEvent* event) {
    const QRectF area = chart()->plotArea();
    const double anchor = std::clamp((event->position().x() - area.left()) / area.width(), 0.0, 1.0);
    Zoom(std::pow(0.8, event->angleDelta().y() / 120.0), anchor);
    event->accept();
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    const ChartDrag drag = DragStartedBy(event->button(), event->modifiers());
    if (drag == ChartDrag::Pan) {
        panning_ = true;
        panFrom_ = event->pos();
        event->accept();
        return;
    }
    if (drag == ChartDrag::Zoom && chart()->plotArea().contains(event->position())) {
        bandFrom_ = event->pos();
        band_->setGeometry(QRect(bandFrom_, QSize()));
        band_->show();
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    const QRectF area = chart()->plotArea();
    if (panning_) {
        Pan(-double(event->pos().x() - panFrom_.x()) / area.width());
        panFrom_ = event->pos();
        event->accept();
        return;
    }
    if (band_->isVisible())
        band_->setGeometry(QRect(bandFrom_, event->pos()).normalized());
    if (area.contains(event->position())) {
        const TimeSpan s = Span();
        emit PointerAt(s.from +
                       qint64(double(s.to - s.from) * (event->position().x() - area.left()) / area.width()));
    }
    QChartView::mouseMoveEvent(event);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        panning_ = false;
        event->accept();
        return;
    }
    if (band_->isVisible() && EndsZoomRectangle(event->button())) {
        band_->hide();
        const QRectF picked = QRectF(QRect(bandFrom_, event->pos()).normalized()) & chart()->plotArea();
        if (picked.width() >= 3 && picked.height() >= 3)
            ZoomInto(picked);
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        emit ResetRequested(); // instead of the chart's own zoom out
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(0.5, 0.5);
        break;
    case Qt::Key_Minus:
        Zoom(2.0, 0.5);
        break;
    case Qt::Key_Left:
        Pan(-0.1);
        break;
    case Qt::Key_Right:
        Pan(0.1);
        break;
    case Qt::Key_Home:
        emit ResetRequested();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace tarvek
