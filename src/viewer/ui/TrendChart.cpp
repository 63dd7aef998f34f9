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

TrendChart::TrendChart(const ViewerSession& session, QTimeZone zone, QWidget* parent)
    : QWidget(parent), session_(session), zone_(std::move(zone)) {
    band_ = new QRubberBand(QRubberBand::Rectangle, this);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrendChart::SetShown(const std::vector<int>& shown) {
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

void TrendChart::RefreshMarks() {
    marks_.clear();
    stretches_.clear();
    if (!chart_.strips.empty()) {
        const EventSource& events = session_.Events();
        marks_ = MarksIn(events.Events(), events.Timeline(), window_, Band());
        stretches_ = StretchesIn(events.Timeline(), window_, Band());
    }
    update();
}

void TrendChart::resizeEvent(QResizeEvent*) {
    Redraw();
}

namespace {

// The x placing of a plot.
PlotBand BandOf(const QRectF& plot) {
    return {plot.left(), plot.width()};
}

TextMeasure MeasureOf(const QFont& font) {
    const QFontMetricsF fm(font);
    return {[fm](const QString& text) { return fm.horizontalAdvance(text); },
            [fm](const QString& text, double width) { return fm.elidedText(text, Qt::ElideRight, width); },
            fm.height()};
}

} // namespace

StripValues TrendChart::ValuesOf(const StripPlace& place, int maxTicks) {
    // Traces made for more columns than drawn keep every extreme, so they
    // are made again only for a wider plot.
    if (const int width = int(place.plot.width()); width > columns_) {
        columns_ = width;
        traces_.fill({});
        for (const int k : shown_)
            traces_[k] = Decimate(Data(), k, Span(), columns_);
    }
    const auto zoom = valueZoom_.find(place.group.unit);
    return StripRange(place.group.channels, traces_, Channels(),
                      zoom != valueZoom_.end() ? std::optional(zoom->second) : std::nullopt, maxTicks);
}

void TrendChart::Redraw() {
    columns_ = 0;
    chart_ = FitStrips(size(), chart_.axisWidth, MeasureOf(font()),
                       GroupByUnit(GroupingUnits(Channels()), shown_), Channels(),
                       [this](const StripPlace& place, int maxTicks) { return ValuesOf(place, maxTicks); });
    const double tickRoom = QFontMetricsF(font()).horizontalAdvance(QStringLiteral("00 Mar 0000")) + 16;
    // Without records there are no dates to show.
    ticks_ = Data().Size() > 0 ? TimeTicks(window_.from, window_.to,
                                           std::max(1, int(FirstPlot().width() / tickRoom)), zone_)
                               : std::vector<TimeTick>{};
    RefreshMarks();
}

void TrendChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    for (const FittedStrip& strip : chart_.strips) {
        PaintStrip(p, strip);
        PaintStretches(p, strip.place.plot, strip.place.group.channels, stretches_);
    }
    PaintMarks(p, MarkRow(LastPlot()), marks_);
    // The time labels under the last strip, a line each part.
    const QRectF& last = LastPlot();
    p.setPen(Qt::black);
    const double line = QFontMetricsF(font()).height();
    for (const TimeTick& tick : ticks_) {
        const double x = window_.XAt(tick.utcMs, BandOf(last));
        p.drawLine(QPointF(x, last.bottom()), QPointF(x, last.bottom() + 3));
        p.drawText(QRectF(x - 100, last.bottom() + 4, 200, 2 * line), Qt::AlignHCenter | Qt::AlignTop,
                   tick.label);
    }
    for (const LegendEntry& e : chart_.legend) {
        p.fillRect(QRectF(e.rect.left(), e.rect.center().y() - LegendSwatch / 2, LegendSwatch, LegendSwatch),
                   ChannelColor(e.channel));
        p.setPen(Qt::black);
        p.drawText(e.rect.adjusted(LegendSwatch + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, e.text);
    }
}

void TrendChart::PaintStrip(QPainter& p, const FittedStrip& strip) const {
    const QRectF& plot = strip.place.plot;
    const StripValues& values = strip.values;
    const double line = QFontMetricsF(font()).height();
    const auto yOf = [&](double v) {
        return plot.bottom() - (v - values.low) / (values.high - values.low) * plot.height();
    };
    const auto xOf = [&](qint64 utcMs) { return window_.XAt(utcMs, BandOf(plot)); };
    const double axisWidth = chart_.axisWidth;
    p.setRenderHint(QPainter::Antialiasing, false);
    // The unit heads the value labels; the grid of both axes.
    p.setPen(Qt::black);
    p.drawText(QRectF(ChartMargin, plot.top() - 1.5 * line, axisWidth - 4, line),
               Qt::AlignRight | Qt::AlignVCenter, AxisUnit(strip.place.group, Channels()));
    const QPen grid(QColor(0xdd, 0xdd, 0xdd));
    for (const double v : ValueTicks(values.scale, values.low, values.high)) {
        const double y = yOf(v);
        p.setPen(grid);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(ChartMargin, y - line / 2, axisWidth - 4, line), Qt::AlignRight | Qt::AlignVCenter,
                   values.scale.Label(v));
    }
    p.setPen(grid);
    for (const TimeTick& tick : ticks_)
        p.drawLine(QPointF(xOf(tick.utcMs), plot.top()), QPointF(xOf(tick.utcMs), plot.bottom()));
    p.setPen(Qt::gray);
    p.drawRect(plot);

    p.save();
    p.setClipRect(plot);
    for (const int k : strip.place.group.channels) {
        const QColor color = ChannelColor(k);
        const ChannelLimits& limits = Channels()[k].limits;
        // The periods outside: shaded from the limit to the plot's edge.
        QColor shade = color;
        shade.setAlpha(40);
        for (const bool above : {false, true}) {
            if (!(above ? limits.above : limits.below))
                continue;
            const double y = yOf(above ? *limits.above : *limits.below);
            const double top = above ? plot.top() : y, bottom = above ? y : plot.bottom();
            const auto recordX = [&](qint64 record) { return xOf(Data().UtcMs(record)); };
            for (const auto& [from, to] : ShadeBands(session_.Periods(), k, above, recordX))
                p.fillRect(QRectF(from, top, to - from, bottom - top), shade);
        }
        p.setPen(QPen(color, 1, Qt::DashLine));
        for (const std::optional<double>& limit : {limits.below, limits.above})
            if (limit)
                p.drawLine(QPointF(plot.left(), yOf(*limit)), QPointF(plot.right(), yOf(*limit)));
    }
    QPolygonF polyline;
    for (const int k : strip.place.group.channels) {
        p.setPen(QPen(ChannelColor(k), 1.5));
        for (const std::span<const QPointF> run : traces_[k].Runs()) {
            polyline.clear();
            for (const QPointF& point : run)
                polyline << QPointF(xOf(qint64(point.x())), yOf(point.y()));
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
        if (const TrendMark* mark = MarkAt(marks_, help->pos(), MarkRow(LastPlot()))) {
            const QString text = MarkText(*mark, session_.Events().Events(), Channels()).toHtmlEscaped();
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<qt>%1</qt>").arg(QString(text).replace(u'\n', "<br>")), this);
            return true;
        }
        for (const LegendEntry& e : chart_.legend)
            if (e.rect.contains(help->pos())) {
                QToolTip::showText(
                    help->globalPos(),
                    QStringLiteral("<qt>%1</qt>").arg(Channels()[e.channel].Heading().toHtmlEscaped()), this);
                return true;
            }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

const FittedStrip* TrendChart::StripAt(const QPointF& at) const {
    for (const FittedStrip& strip : chart_.strips)
        if (strip.place.plot.contains(at))
            return &strip;
    return nullptr;
}

QRectF TrendChart::PlotArea() const {
    return FirstPlot().united(LastPlot());
}

PlotBand TrendChart::Band() const {
    return BandOf(PlotArea());
}

void TrendChart::ZoomInto(const QRectF& picked) {
    // The values too when the rectangle lies in one strip.
    for (const FittedStrip& strip : chart_.strips) {
        const QRectF& plot = strip.place.plot;
        if (plot.contains(picked))
            valueZoom_[strip.place.group.unit] = {
                ValueAt(picked.bottom(), plot, strip.values.low, strip.values.high),
                ValueAt(picked.top(), plot, strip.values.low, strip.values.high)};
    }
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
        const QRectF picked = QRectF(QRect(bandFrom_, event->pos()).normalized()) & PlotArea();
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
