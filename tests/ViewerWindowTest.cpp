// The viewer's window, headless: a folder opened, a span chosen, the
// statistics table.
#include "viewer/ui/ViewerWindow.h"
#include "data/StoringData.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QAbstractAxis>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLegendMarker>
#include <QTableWidget>

using namespace tarvek;

namespace {

class ViewerWindowTest : public AppFolderTest {
  protected:
    template <typename W> W* Find(const QString& accessibleName) {
        for (W* w : window.findChildren<W*>())
            if (w->accessibleName() == accessibleName || w->accessibleDescription() == accessibleName)
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

// The statistics and the From and To fields follow the span shown, also in
// follow mode; an empty chart shows no dates.
TEST_F(ViewerWindowTest, TheStatisticsFollowTheChosenSpan) {
    window.Open({state.AppFolder + "/datafiles"});
    const auto timeAxis = [&] { return window.Chart()->chart()->axes(Qt::Horizontal).first(); };
    EXPECT_FALSE(timeAxis()->labelsVisible());
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + Record("     Boiler                 3 mbar"));
    const char* values[] = {"   +1.000", "   +5.500", " No Data ", "   -2.250", "   +3.000"};
    const char* times[] = {"10:00:00", "10:00:30", "10:01:00", "10:01:30", "10:02:00"};
    for (int i = 0; i < 5; ++i)
        StoreScan("05-03-2025", times[i], values[i], "   +1.000");
    window.Open({state.AppFolder + "/datafiles"});
    EXPECT_TRUE(timeAxis()->labelsVisible());
    EXPECT_EQ(Find<QCheckBox>("Show Boiler [mbar]")->text(), "Boiler [mbar]");
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "4", "1", "-2.250", "2025-03-05 10:01:30",
                                             "5.500", "2025-03-05 10:00:30", "1.813"}));

    Find<QComboBox>("Span")->setCurrentIndex(int(ViewerWindow::LastHour));
    const auto shown = [&](const char* edit) { return Find<QDateTimeEdit>(edit)->dateTime().time(); };
    EXPECT_EQ(std::pair(shown("From"), shown("To")), std::pair(QTime(9, 2), QTime(10, 2)));
    StoreScan("05-03-2025", "10:02:30", "   +1.000", "   +1.000");
    window.Follow();
    EXPECT_EQ(std::pair(shown("From"), shown("To")), std::pair(QTime(9, 2, 30), QTime(10, 2, 30)));

    Find<QComboBox>("Span")->setCurrentIndex(int(ViewerWindow::FromTo));
    const QDate day(2025, 3, 5);
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 30)));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 0, 30)));
    EXPECT_EQ(StatisticsRow(0), (QStringList{"Boiler [mbar]", "2", "1", "-2.250", "2025-03-05 10:01:30",
                                             "5.500", "2025-03-05 10:00:30", "1.625"}));

    // A channel switched off leaves the table, for a screen reader too.
    Find<QCheckBox>("Show Boiler [mbar]")->setChecked(false);
    EXPECT_EQ(Find<QTableWidget>("Statistics of the visible span")->rowCount(), 7);
    EXPECT_EQ(StatisticsRow(0).first(), "Ch.2 [Bar]");
}

// Names from the set-up are text, never markup; the read-out and the
// problems line are read out by their text and never widen the window.
TEST_F(ViewerWindowTest, HostileNamesAndLongLinesStayText) {
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + Record("     <img src=/dev/zero>    3 mbar"));
    StoreScan("05-03-2025", "10:00:00", "   +1.000", "   +1.000");
    window.Open({state.AppFolder + "/datafiles"});
    EXPECT_EQ(window.Chart()->chart()->legend()->markers().first()->label(),
              "&lt;img src=/dev/zero&gt; [mbar]");

    window.show();
    QCoreApplication::processEvents();
    const int width = window.width();
    auto* readOut = Find<QLabel>("Values under the pointer");
    emit window.Chart()->PointerAt(window.Source().Data().UtcMs(0));
    EXPECT_TRUE(readOut->text().startsWith("2025-03-05 10:00:00   <img src=/dev/zero> [mbar]: 1.000"));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.width(), width);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(readOut)->text(QAccessible::Name), readOut->text());
}

// PNG and PDF exports are whole or not there: a file-size limit fails them
// with the reason, and neither a file nor a half is left.
TEST_F(ViewerWindowTest, ExportsFailWholeUnderAFileSizeLimit) {
    StoreScan("05-03-2025", "10:00:00", "   +1.000", "   +1.000");
    window.Open({state.AppFolder + "/datafiles"});
    for (const QString name : {"chart.png", "chart.pdf", "chart.csv"}) {
        const QString path = state.AppFolder + '/' + name;
        {
            FileSizeLimit limit(100);
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(window.ExportTo(path)) << qPrintable(name);
        }
        EXPECT_FALSE(QFileInfo::exists(path)) << qPrintable(name);
        EXPECT_TRUE(Find<QLabel>("Problems")->text().contains(path + ": cannot write (File too large)"))
            << qPrintable(Find<QLabel>("Problems")->text());
        EXPECT_TRUE(window.ExportTo(path));
        EXPECT_GT(QFileInfo(path).size(), 100);
    }
    EXPECT_EQ(QDir(state.AppFolder).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

} // namespace
