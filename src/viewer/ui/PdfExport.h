#pragma once

#include "viewer/PdfPages.h"

#include <QIODevice>
#include <QPixmap>

namespace tarvek {

// A table for the PDF, its cells as text.
struct PdfTable {
    QString title;
    QStringList headings;
    std::vector<QStringList> rows;
};

// The chart as drawn, then each table as text, over as many pages as they
// need (LayOutPages), landscape at 150 dpi. False when a page cannot be made.
bool WritePdf(QIODevice& out, const QPixmap& chart, const std::vector<PdfTable>& tables);

} // namespace tarvek
