#include "viewer/ui/TrendChart.h"

#include "viewer/TableText.h"
#include "viewer/ui/MarkPainter.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRubberBand>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace tarvek {

QColor TrendChart::ChannelColor(int channel) {
    static const QColor colors[ChannelCount] = {QColor(0x1f77b4), QColor(0xd62728), QColor(0x2ca02c),
                                                QColor(0x9467bd), QColor(0xff7f0e), QColor(0x17becf),
                                                QColor(0x8c564b), QColor(0x7f7f7f)};
    return colors[channel];
}

TrendChart::TrendChart(QTimeZone zone, QWidget* parent) : QWidget(parent), zone_(std::move(zone)) {
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrendChart::SetData(const Trend* trend, const ChannelInfos& channels, const std::vector<int>& shown) {
    trend_ = trend;
    channels_ = channels;
    shown_ = shown;
    Redraw();
}

void TrendChart::SetWindow(const ChartWindow& window) {
    window_ = window;
    Redraw();
    emit SpanChanged(Span());
}

void TrendChart::ShowSpan(qint64 from, qint64 to) {
    valueZoom_.clear();
    SetWindow(ChartWindow::Of(from, to));
}

void TrendChart::Refresh() {
    Redraw();
}

void TrendChart::SetEvents(const EventSource* events) {
    events_ = events;
    RefreshMarks();
}

void TrendChart::RefreshMarks() {
    marks_.clear();
    stretches_.clear();
    if (events_ && !strips_.empty()) {
        marks_ = MarksIn(events_->Events(), events_->Timeline(), window_, Band());
        stretches_ = StretchesIn(events_->Timeline(), window_, Band());
    }
    update();
}

void TrendChart::resizeEvent(QResizeEvent*) {
    Redraw();
}

double TrendChart::XOf(qint64 utcMs, const QRectF& plot) const {
    return plot.left() + double(utcMs - window_.from) / double(window_.to - window_.from) * plot.width();
}

void TrendChart::LayOut() {
    const QFontMetricsF fm(font());
    const TextMeasure measure{
        [&](const QString& text) { return fm.horizontalAdvance(text); },
        [&](const QString& text, double width) { return fm.elidedText(text, Qt::ElideRight, width); },
        fm.height()};
    ChartLayout layout =
        LayOutStrips(size(), axisWidth_, measure, GroupByUnit(GroupingUnits(channels_), shown_), channels_);
    legend_ = std::move(layout.legend);
    strips_.clear();
    for (StripPlace& place : layout.strips)
        strips_.push_back({std::move(place.group), place.plot, {}, 0, 1, place.headerLines});
}

void TrendChart::Redraw() {
    const QFontMetricsF fm(font());
    // The value labels' width decides the plots' width: lay out again when
    // it changed, once (the labels of the new layout rarely differ again,
    // and then keep the room they had).
    // Traces made for more columns than drawn keep every extreme, so they
    // are made again only for a wider plot.
    int columns = 0;
    for (int pass = 0; pass < 2; ++pass) {
        LayOut();
        if (const int width = int(strips_.front().plot.width()); width > columns) {
            columns = width;
            traces_.fill({});
            for (const int k : shown_)
                traces_[k] = trend_ ? Decimate(*trend_, k, Span(), columns) : Trace{};
        }
        double labels = 0;
        for (Strip& strip : strips_) {
            const auto zoom = valueZoom_.find(strip.group.unit);
            const StripValues values =
                StripRange(strip.group.channels, traces_, channels_,
                           zoom != valueZoom_.end() ? std::optional(zoom->second) : std::nullopt,
                           std::max(1, int(strip.plot.height() / (2 * fm.height()))));
            strip.scale = values.scale;
            strip.low = values.low;
            strip.high = values.high;
            for (const double v : {strip.low, strip.high})
                labels = std::max(labels, fm.horizontalAdvance(strip.scale.Label(v)));
            labels = std::max(labels, fm.horizontalAdvance(AxisUnit(strip.group, channels_)));
        }
        const double wanted = std::ceil(labels) + 8;
        if (pass > 0 || std::fabs(wanted - axisWidth_) < 1)
            break;
        axisWidth_ = wanted;
    }
    periods_ = trend_ ? PeriodsOf(*trend_, channels_, shown_, Span()) : std::vector<LimitPeriod>{};
    const double tickRoom = fm.horizontalAdvance(QStringLiteral("00 Mar 0000")) + 16;
    // Without records there are no dates to show.
    ticks_ = trend_ && trend_->Size() > 0
                 ? TimeTicks(window_.from, window_.to,
                             std::max(1, int(strips_.front().plot.width() / tickRoom)), zone_)
                 : std::vector<TimeTick>{};
    RefreshMarks();
}

void TrendChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    for (const Strip& strip : strips_) {
        PaintStrip(p, strip);
        PaintStretches(p, strip.plot, strip.group.channels, stretches_);
    }
    PaintMarks(p, MarkRow(strips_.back().plot), marks_);
    // The time labels under the last strip, a line each part.
    const QRectF& last = strips_.back().plot;
    p.setPen(Qt::black);
    const double line = QFontMetricsF(font()).height();
    for (const TimeTick& tick : ticks_) {
        const double x = XOf(tick.utcMs, last);
        p.drawLine(QPointF(x, last.bottom()), QPointF(x, last.bottom() + 3));
        p.drawText(QRectF(x - 100, last.bottom() + 4, 200, 2 * line), Qt::AlignHCenter | Qt::AlignTop,
                   tick.label);
    }
    for (const LegendEntry& e : legend_) {
        p.fillRect(QRectF(e.rect.left(), e.rect.center().y() - LegendSwatch / 2, LegendSwatch, LegendSwatch),
                   ChannelColor(e.channel));
        p.setPen(Qt::black);
        p.drawText(e.rect.adjusted(LegendSwatch + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, e.text);
    }
}

void TrendChart::PaintStrip(QPainter& p, const Strip& strip) const {
    const QRectF& plot = strip.plot;
    const double line = QFontMetricsF(font()).height();
    const auto yOf = [&](double v) {
        return plot.bottom() - (v - strip.low) / (strip.high - strip.low) * plot.height();
    };
    p.setRenderHint(QPainter::Antialiasing, false);
    // The unit heads the value labels; the grid of both axes.
    p.setPen(Qt::black);
    p.drawText(QRectF(ChartMargin, plot.top() - 1.5 * line, axisWidth_ - 4, line),
               Qt::AlignRight | Qt::AlignVCenter, AxisUnit(strip.group, channels_));
    const QPen grid(QColor(0xdd, 0xdd, 0xdd));
    for (double v = std::ceil(strip.low / strip.scale.step - 1e-9) * strip.scale.step;
         v <= strip.high + strip.scale.step * 1e-9; v += strip.scale.step) {
        const double y = yOf(v);
        p.setPen(grid);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(ChartMargin, y - line / 2, axisWidth_ - 4, line), Qt::AlignRight | Qt::AlignVCenter,
                   strip.scale.Label(v));
    }
    p.setPen(grid);
    for (const TimeTick& tick : ticks_)
        p.drawLine(QPointF(XOf(tick.utcMs, plot), plot.top()), QPointF(XOf(tick.utcMs, plot), plot.bottom()));
    p.setPen(Qt::gray);
    p.drawRect(plot);

    p.save();
    p.setClipRect(plot);
    for (const int k : strip.group.channels) {
        const QColor color = ChannelColor(k);
        const ChannelLimits& limits = channels_[k].limits;
        // The periods outside: shaded from the limit to the plot's edge.
        QColor shade = color;
        shade.setAlpha(40);
        for (const bool above : {false, true}) {
            if (!(above ? limits.above : limits.below))
                continue;
            const double y = yOf(above ? *limits.above : *limits.below);
            const double top = above ? plot.top() : y, bottom = above ? y : plot.bottom();
            const auto xOf = [&](qint64 record) { return XOf(trend_->UtcMs(record), plot); };
            for (const auto& [from, to] : ShadeBands(periods_, k, above, xOf))
                p.fillRect(QRectF(from, top, to - from, bottom - top), shade);
        }
        p.setPen(QPen(color, 1, Qt::DashLine));
        for (const std::optional<double>& limit : {limits.below, limits.above})
            if (limit)
                p.drawLine(QPointF(plot.left(), yOf(*limit)), QPointF(plot.right(), yOf(*limit)));
    }
    QPolygonF polyline;
    for (const int k : strip.group.channels) {
        p.setPen(QPen(ChannelColor(k), 1.5));
        for (const std::span<const QPointF> run : traces_[k].Runs()) {
            polyline.clear();
            for (const QPointF& point : run)
                polyline << QPointF(XOf(qint64(point.x()), plot), yOf(point.y()));
            if (polyline.size() == 1)
                p.drawEllipse(polyline.first(), 1.5, 1.5);
            else
                p.drawPolyline(polyline);
        }
    }
    p.restore();
}

bool TrendChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        // Texts come from a shared file: never read as markup.
        if (const TrendMark* mark = MarkAt(marks_, help->pos(), MarkRow(strips_.back().plot))) {
            const QString text = MarkText(*mark, events_->Events(), channels_).toHtmlEscaped();
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<qt>%1</qt>").arg(QString(text).replace(u'\n', "<br>")), this);
            return true;
        }
        for (const LegendEntry& e : legend_)
            if (e.rect.contains(help->pos())) {
                QToolTip::showText(
                    help->globalPos(),
                    QStringLiteral("<qt>%1</qt>").arg(channels_[e.channel].Heading().toHtmlEscaped()), this);
                return true;
            }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

const TrendChart::Strip* TrendChart::StripAt(const QPointF& at) const {
    for (const Strip& strip : strips_)
        if (strip.plot.contains(at))
            return &strip;
    return nullptr;
}

PlotBand TrendChart::Band() const {
    const QRectF area = strips_.front().plot.united(strips_.back().plot);
    return {area.left(), area.width()};
}

void TrendChart::ZoomInto(const QRectF& picked) {
    // The values too when the rectangle lies in one strip.
    for (const Strip& strip : strips_)
        if (strip.plot.contains(picked))
            valueZoom_[strip.group.unit] = {ValueAt(picked.bottom(), strip.plot, strip.low, strip.high),
                                            ValueAt(picked.top(), strip.plot, strip.low, strip.high)};
    SetWindow(window_.Picked(picked.left(), picked.right(), Band()));
}

void TrendChart::wheelEvent(QWheelEvent* event) {
    SetWindow(window_.Zoomed(WheelFactor(event->angleDelta().y()), AnchorAt(event->position().x(), Band())));
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
    if (drag == ChartDrag::Zoom && StripAt(event->position())) {
        bandFrom_ = event->pos();
        band_->setGeometry(QRect(bandFrom_, QSize()));
        band_->show();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    const PlotBand band = Band();
    if (panning_) {
        SetWindow(window_.Panned(-double(event->pos().x() - panFrom_.x()) / band.width));
        panFrom_ = event->pos();
        event->accept();
        return;
    }
    if (band_->isVisible())
        band_->setGeometry(QRect(bandFrom_, event->pos()).normalized());
    if (StripAt(event->position()))
        emit PointerAt(window_.TimeAt(event->position().x(), band));
    QWidget::mouseMoveEvent(event);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_) {
        panning_ = false;
        event->accept();
        return;
    }
    if (band_->isVisible() && EndsZoomRectangle(event->button())) {
        band_->hide();
        const QRectF picked = QRectF(QRect(bandFrom_, event->pos()).normalized()) &
                              strips_.front().plot.united(strips_.back().plot);
        if (IsPickedRectangle(picked))
            ZoomInto(picked);
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        emit ResetRequested();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TrendChart::keyPressEvent(QKeyEvent* event) {
    const KeyAction action = KeyActionOf(event->key());
    switch (action.kind) {
    case KeyAction::Zoom:
        SetWindow(window_.Zoomed(action.amount, 0.5));
        break;
    case KeyAction::Pan:
        SetWindow(window_.Panned(action.amount));
        break;
    case KeyAction::Reset:
        emit ResetRequested();
        break;
    case KeyAction::None:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace tarvek
