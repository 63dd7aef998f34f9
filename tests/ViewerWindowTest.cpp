// The viewer's window, headless: a folder opened, a span chosen, the
// statistics table.
#include "viewer/ui/ViewerWindow.h"
#include "data/StoringData.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QStatusBar>
#include <QTableWidget>

using namespace tarvek;

namespace {

class ViewerWindowTest : public AppFolderTest {
  protected:
    template <typename W> W* Find(const QString& accessibleName) {
        for (W* w : window.findChildren<W*>())
            if (w->accessibleName() == accessibleName)
                return w;
        return nullptr;
    }
    QStringList StatisticsRow(int row) {
        auto* table = Find<QTableWidget>("Statistics of the visible span");
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells += table->item(row, c) ? table->item(row, c)->text() : QString();
        return cells;
    }

    ViewerWindow window;
};

TEST_F(ViewerWindowTest, TheStatisticsFollowTheChosenSpan) {
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + Record("     Boiler                 3 mbar"));
    const char* values[] = {"   +1.000", "   +5.500", " No Data ", "   -2.250", "   +3.000"};
    const char* times[] = {"10:00:00", "10:00:30", "10:01:00", "10:01:30", "10:02:00"};
    for (int i = 0; i < 5; ++i)
        StoreScan("05-03-2025", times[i], values[i], "   +1.000");
    window.Open({state.AppFolder + "/datafiles"});
    EXPECT_EQ(Find<QCheckBox>("Show Boiler [mbar]")->text(), "Boiler [mbar]");
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "4", "1", "-2.250", "2025-03-05 10:01:30",
                                             "5.500", "2025-03-05 10:00:30", "1.813"}));
    const Trend& trend = window.Source().Data();
    const auto shownSpan = [&] { return std::pair{window.Chart()->Span().from, window.Chart()->Span().to}; };
    EXPECT_EQ(shownSpan(), std::pair(trend.UtcMs(0), trend.UtcMs(4)));
    EXPECT_EQ(window.statusBar()->currentMessage(), "1 files, 5 records");
    emit window.Chart()->PointerAt(trend.UtcMs(0) + 1000);
    EXPECT_TRUE(Find<QLabel>("Values under the pointer")
                    ->text()
                    .startsWith("2025-03-05 10:00:00   Boiler [mbar]: 1.000   Ch.2 [Bar]: 1.000"));
    emit window.Chart()->PointerAt(trend.UtcMs(3) - 1000);
    EXPECT_TRUE(Find<QLabel>("Values under the pointer")
                    ->text()
                    .startsWith("2025-03-05 10:01:30   Boiler [mbar]: -2.250"));

    // Following: the span moves on with the newest record.
    StoreScan("05-03-2025", "10:02:30", "   +9.000", "   +1.000");
    window.Follow();
    EXPECT_EQ(shownSpan(), std::pair(trend.UtcMs(0), trend.UtcMs(5)));
    EXPECT_EQ(window.statusBar()->currentMessage(), "1 files, 6 records");
    Find<QCheckBox>("Show Boiler [mbar]")->setChecked(false);
    auto* table = Find<QTableWidget>("Statistics of the visible span");
    EXPECT_EQ(std::pair(table->isRowHidden(0), table->isRowHidden(1)), std::pair(true, false));

    EXPECT_FALSE(Find<QDateTimeEdit>("From")->isEnabled());
    Find<QComboBox>("Span")->setCurrentIndex(ViewerWindow::FromTo);
    EXPECT_TRUE(Find<QDateTimeEdit>("From")->isEnabled() && Find<QDateTimeEdit>("To")->isEnabled());
    const QDate day(2025, 3, 5);
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 30)));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 0, 30)));
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "2", "1", "-2.250", "2025-03-05 10:01:30",
                                             "5.500", "2025-03-05 10:00:30", "1.625"}));
    ASSERT_TRUE(window.ExportTo(state.AppFolder + "/out.csv"));
    EXPECT_TRUE(ReadBytes(state.AppFolder + "/out.csv").startsWith("time,Ch.2 [Bar],Ch.3 [Bar]"));
    EXPECT_TRUE(Find<QLabel>("Problems")->isHidden());
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 1, 0, 500)));
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 1)));
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "0", "0", "", "", "", "", ""}));
}

} // namespace
