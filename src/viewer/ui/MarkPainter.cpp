#include "viewer/ui/MarkPainter.h"

#include "viewer/ui/TrendChart.h"

#include <QPainter>

namespace tarvek {

namespace {

const QColor OwnAlarm(0x40, 0x40, 0x40);

QColor ColorOf(int channel) {
    return channel >= 1 && channel <= ChannelCount ? TrendChart::ChannelColor(channel - 1) : OwnAlarm;
}

} // namespace

void PaintStretches(QPainter& p, const QRectF& plot, const std::vector<int>& channels,
                    const std::vector<StretchBand>& stretches) {
    constexpr double thick = 3;
    for (const StretchBand& s : stretches)
        if (const std::optional<int> line = StretchLine(s.channel, channels))
            p.fillRect(QRectF(s.x1, plot.top() + 1 + thick * *line, s.x2 - s.x1, thick), ColorOf(s.channel));
}

void PaintMarks(QPainter& p, const QRectF& row, const std::vector<TrendMark>& marks) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const double half = row.height() / 2;
    for (const TrendMark& mark : marks) {
        const double x = mark.x, top = row.top(), bottom = row.bottom();
        const QPolygonF triangle{QPointF(x - half, bottom), QPointF(x + half, bottom), QPointF(x, top)};
        switch (mark.kind) {
        case MarkKind::Raised:
            p.setPen(ColorOf(mark.channel));
            p.setBrush(ColorOf(mark.channel));
            p.drawPolygon(triangle);
            break;
        case MarkKind::Cleared:
            p.setPen(QPen(Qt::darkGreen, 1.5));
            p.setBrush(Qt::white);
            p.drawPolygon(triangle);
            break;
        case MarkKind::Acknowledged:
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::darkBlue);
            p.drawEllipse(QPointF(x, bottom - half), half / 2, half / 2);
            break;
        case MarkKind::StartStop:
            p.fillRect(QRectF(x - 1, top, 2, row.height()), Qt::black);
            break;
        case MarkKind::SetUp:
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::gray);
            p.drawPolygon(QPolygonF{QPointF(x, top), QPointF(x + half, bottom - half), QPointF(x, bottom),
                                    QPointF(x - half, bottom - half)});
            break;
        }
    }
    p.restore();
}

} // namespace tarvek
