#include "viewer/PdfPages.h"

#include <algorithm>

namespace tarvek {

std::vector<std::vector<PagePart>> LayOutPages(const QSizeF& page, const QSizeF& chart, double line,
                                               const std::vector<PrintedTable>& tables) {
    std::vector<std::vector<PagePart>> pages(1);
    const double chartHeight =
        std::min(page.height() * 0.6, page.width() * chart.height() / std::max(1.0, chart.width()));
    const double chartWidth =
        std::min(page.width(), chartHeight * chart.width() / std::max(1.0, chart.height()));
    pages[0].push_back({PagePart::Chart, -1, -1, QRectF(0, 0, chartWidth, chartHeight), {}});
    double y = chartHeight + line;
    for (int t = 0; t < int(tables.size()); ++t) {
        const PrintedTable& table = tables[t];
        // Columns share out the width left over, each keeping what it needs.
        double needed = 0;
        for (const double w : table.widths)
            needed += w;
        const double gap =
            table.widths.empty() ? 0 : std::max(0.0, (page.width() - needed) / double(table.widths.size()));
        std::vector<double> columns;
        double x = 0;
        for (const double w : table.widths)
            columns.push_back(x), x += w + std::min(gap, line * 2);
        const auto place = [&](PagePart::Kind kind, int row) {
            pages.back().push_back({kind, t, row, QRectF(0, y, page.width(), line), columns});
            y += line;
        };
        if (y + 3 * line > page.height()) // a title and headings alone at a page's foot
            pages.emplace_back(), y = 0;
        place(PagePart::Title, -1);
        place(PagePart::Line, -1);
        for (int r = 0; r < int(table.rows.size()); ++r) {
            if (y + line > page.height()) {
                pages.emplace_back();
                y = 0;
                place(PagePart::Line, -1);
            }
            place(PagePart::Line, r);
        }
        y += line;
    }
    return pages;
}

} // namespace tarvek
