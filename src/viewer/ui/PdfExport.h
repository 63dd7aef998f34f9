#pragma once

#include "viewer/PdfPages.h"

#include <QIODevice>
#include <QPixmap>

namespace tarvek {

// The chart as drawn, then each table as text, over as many pages as they
// need (LayOutPages), landscape at 150 dpi; the tables' widths are measured
// here, in the page's font. False when a page cannot be made.
bool WritePdf(QIODevice& out, const QPixmap& chart, std::vector<PrintedTable> tables);

} // namespace tarvek
