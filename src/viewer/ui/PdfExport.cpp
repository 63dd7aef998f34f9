#include "viewer/ui/PdfExport.h"

#include <QPainter>
#include <QPdfWriter>

namespace tarvek {

bool WritePdf(QIODevice& out, const QPixmap& chart, std::vector<PrintedTable> printed) {
    QPdfWriter pdf(&out);
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setResolution(150);
    QPainter painter;
    if (!painter.begin(&pdf))
        return false;
    const QFontMetricsF fm(painter.font());
    for (PrintedTable& t : printed) {
        t.widths.clear();
        for (int c = 0; c < t.headings.size(); ++c) {
            double w = fm.horizontalAdvance(t.headings[c]);
            for (const QStringList& row : t.rows)
                w = std::max(w, fm.horizontalAdvance(row[c]));
            t.widths.push_back(w);
        }
    }
    const QRect page = painter.viewport();
    const auto pages = LayOutPages(page.size(), chart.size(), fm.height() * 1.3, printed);
    for (std::size_t n = 0; n < pages.size(); ++n) {
        if (n > 0 && !pdf.newPage())
            return false;
        for (const PagePart& part : pages[n]) {
            if (part.kind == PagePart::Chart) {
                painter.drawPixmap(part.rect, chart, chart.rect());
                continue;
            }
            const PrintedTable& t = printed[std::size_t(part.table)];
            if (part.kind == PagePart::Title) {
                QFont bold = painter.font();
                bold.setBold(true);
                painter.save();
                painter.setFont(bold);
                painter.drawText(part.rect, Qt::AlignLeft | Qt::AlignVCenter, t.title);
                painter.restore();
                continue;
            }
            const QStringList& cells = part.row < 0 ? t.headings : t.rows[std::size_t(part.row)];
            for (int c = 0; c < cells.size(); ++c)
                painter.drawText(
                    QRectF(part.columns[c], part.rect.top(), t.widths[c] + 1, part.rect.height()),
                    Qt::AlignLeft | Qt::AlignVCenter, cells[c]);
        }
    }
    return painter.end();
}

} // namespace tarvek
