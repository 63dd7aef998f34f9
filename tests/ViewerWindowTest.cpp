// The viewer's window, headless: a folder opened, a span chosen, the
// statistics table.
#include "viewer/ui/ViewerWindow.h"
#include "data/StoringData.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QTableWidget>

using namespace tarvek;

namespace {

class ViewerWindowTest : public AppFolderTest {
  protected:
    template <typename W> W* Find(const QString& accessibleName) {
        for (W* w : window.findChildren<W*>())
            if (w->accessibleName() == accessibleName)
                return w;
        ADD_FAILURE() << "no control " << qPrintable(accessibleName);
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

    Find<QComboBox>("Span")->setCurrentIndex(ViewerWindow::FromTo);
    const QDate day(2025, 3, 5);
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 30)));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 0, 30)));
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "2", "1", "-2.250", "2025-03-05 10:01:30",
                                             "5.500", "2025-03-05 10:00:30", "1.625"}));
}

} // namespace
