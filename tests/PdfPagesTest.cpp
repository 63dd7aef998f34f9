// The PDF's pages: the chart, then the tables line by line.
#include "viewer/PdfPages.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

TEST(PdfPages, TheChartFirstThenTheTablesHeadingsRepeatedOnEachPage) {
    const std::vector<PrintedTable> tables = {
        {"Statistics", {"a", "b"}, std::vector<QStringList>(2), {50, 80}},
        {"Periods", {"c"}, std::vector<QStringList>(50), {60}}};
    const auto pages = LayOutPages(QSizeF(1000, 700), QSizeF(1200, 600), 20, tables);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0][0].rect, QRectF(0, 0, 840, 420)); // its shape kept
    QStringList seen;
    for (const auto& page : pages) {
        seen += "|";
        for (const PagePart& part : page) {
            EXPECT_LE(part.rect.bottom(), 700);
            if (part.kind == PagePart::Title || (part.kind == PagePart::Line && part.row < 0))
                seen += QString("%1%2").arg(part.kind == PagePart::Title ? "T" : "H").arg(part.table);
        }
    }
    // 420 + 20 + 4 lines of the first table + 20: the second starts at 540
    // and has room for 6 rows there, 34 on the next page, the rest on a third.
    EXPECT_EQ(seen.join(""), "|T0H0T1H1|H1|H1");
    EXPECT_EQ(pages[0][1].columns, (std::vector<double>{0, 90}));
}

} // namespace
