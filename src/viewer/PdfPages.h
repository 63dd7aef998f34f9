#pragma once

#include <QRectF>
#include <QSizeF>
#include <QStringList>

#include <vector>

namespace tarvek {

// A table as the PDF prints it, its cells as text; `widths` the width each
// column needs in the page's font.
struct PrintedTable {
    QString title;
    QStringList headings;
    std::vector<QStringList> rows;
    std::vector<double> widths;
};

// One thing on a PDF page: the chart, a table's title, its headings (row
// -1) or one of its rows, in `rect`; a line's cells start at `columns`.
struct PagePart {
    enum Kind { Chart, Title, Line } kind = Chart;
    int table = -1, row = -1;
    QRectF rect;
    std::vector<double> columns;
};

// The pages of the PDF: the chart across the first page's width (at most
// three fifths of its height, its shape kept), then each table line by line;
// a table goes on over as many pages as it needs, its headings repeated at
// the top of each. `line` is the height of a line of text.
std::vector<std::vector<PagePart>> LayOutPages(const QSizeF& page, const QSizeF& chart, double line,
                                               const std::vector<PrintedTable>& tables);

} // namespace tarvek
