// The viewer's window, headless: a folder opened, a span chosen, the
// strips by unit, the time ticks, the statistics and the periods outside.
#include "viewer/ui/ViewerWindow.h"
#include "data/StoringData.h"

#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>

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
    QStringList Row(int row, const QString& table = "Statistics of the visible span") {
        const QAbstractItemModel* model = Find<QTableView>(table)->model();
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells += model->index(row, c).data().toString();
        return cells;
    }

    ViewerWindow window{QTimeZone::utc()};
};

TEST_F(ViewerWindowTest, TheStatisticsAndThePeriodsFollowTheChosenSpan) {
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + ChannelLine("Boiler", "Bar", "0", "5") +
                   ChannelLine("Return", "Bar") + ChannelLine("Water", "degC", "", "abc"));
    const char* values[] = {"   +1.000", "   +5.500", " No Data ", "   -2.250", "   +3.000"};
    const char* times[] = {"10:00:00", "10:00:30", "10:01:00", "10:01:30", "10:02:00"};
    for (int i = 0; i < 5; ++i)
        StoreScan("05-03-2025", times[i], values[i], "   +1.000");
    window.resize(1280, 1024);
    window.show();
    window.Open({state.AppFolder + "/datafiles"});
    EXPECT_EQ(Find<QCheckBox>("Show Boiler [Bar]")->text(), "Boiler [Bar]");
    EXPECT_EQ(Row(0), (QStringList{"Boiler [Bar]", "4", "1", "-2.250", "2025-03-05 10:01:30", "5.500",
                                   "2025-03-05 10:00:30", "1.813", "1", "1"}));
    EXPECT_EQ(Row(1).mid(8), (QStringList{"", ""})); // no limits, no counts
    EXPECT_EQ(Row(0, "Periods outside limits"),
              (QStringList{"Boiler [Bar]", "2025-03-05 10:00:30", "2025-03-05 10:00:30", "above", "5.500",
                           "2025-03-05 10:00:30", "1"}));
    EXPECT_EQ(Row(1, "Periods outside limits")[3], "below");
    EXPECT_EQ(Find<QTableView>("Periods outside limits")->model()->rowCount(), 2);
    const Trend& trend = window.Source().Data();
    const auto shownSpan = [&] { return std::pair{window.Chart()->Span().from, window.Chart()->Span().to}; };
    EXPECT_EQ(shownSpan(), std::pair(trend.UtcMs(0), trend.UtcMs(4)));
    EXPECT_EQ(window.statusBar()->currentMessage(), "1 files, 5 records");
    const auto readOut = [&](qint64 utcMs) {
        emit window.Chart()->PointerAt(utcMs);
        return Find<QLabel>("Values under the pointer")->text();
    };
    EXPECT_TRUE(
        readOut(trend.UtcMs(0) + 1000).startsWith("2025-03-05 10:00:00   Boiler [Bar]: 1.000   Return"));
    EXPECT_TRUE(
        readOut(trend.UtcMs(3) - 1000).startsWith("2025-03-05 10:01:30   Boiler [Bar]: -2.250   Return"));

    // One strip per unit: the two in Bar, the one in degC, those without a unit.
    std::vector<std::vector<int>> strips;
    for (const TrendChart::Strip& strip : window.Chart()->Strips())
        strips.push_back(strip.group.channels);
    EXPECT_EQ(strips, (std::vector<std::vector<int>>{{0, 1}, {2}, {3, 4, 5, 6, 7}}));
    const std::vector<TimeTick>& ticks = window.Chart()->Ticks();
    ASSERT_GE(ticks.size(), 2u);
    EXPECT_EQ(ticks[0].utcMs, window.Source().Data().UtcMs(0));
    EXPECT_TRUE(ticks[0].label.endsWith("\n5 Mar 2025")) << qPrintable(ticks[0].label);
    for (const TimeTick& tick : ticks)
        EXPECT_EQ(tick.utcMs % 15'000, 0) << qPrintable(tick.label);

    // The unreadable limit is named once, and stays once as the file grows.
    const auto named = [&] {
        return Find<QLabel>("Problems")->text().count("Water [degC]: the alarm maximum \"abc\"");
    };
    EXPECT_EQ(named(), 1);
    StoreScan("05-03-2025", "10:02:30", "   +9.000", "   +1.000");
    window.Follow();
    EXPECT_EQ(named(), 1);
    EXPECT_EQ(Find<QTableView>("Periods outside limits")->model()->rowCount(), 3);
    EXPECT_EQ(shownSpan(), std::pair(trend.UtcMs(0), trend.UtcMs(5))); // the span moves on
    EXPECT_EQ(window.statusBar()->currentMessage(), "1 files, 6 records");

    EXPECT_FALSE(Find<QDateTimeEdit>("From")->isEnabled());
    Find<QComboBox>("Span")->setCurrentIndex(ViewerWindow::FromTo);
    EXPECT_TRUE(Find<QDateTimeEdit>("From")->isEnabled() && Find<QDateTimeEdit>("To")->isEnabled());
    const QDate day(2025, 3, 5);
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 30)));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 0, 30)));
    EXPECT_EQ(Row(0), (QStringList{"Boiler [Bar]", "2", "1", "-2.250", "2025-03-05 10:01:30", "5.500",
                                   "2025-03-05 10:00:30", "1.625", "1", "1"}));
    Find<QCheckBox>("Show Boiler [Bar]")->setChecked(false);
    auto* table = Find<QTableView>("Statistics of the visible span");
    EXPECT_EQ(std::pair(table->isRowHidden(0), table->isRowHidden(1)), std::pair(true, false));
    ASSERT_TRUE(window.ExportTo(state.AppFolder + "/out.csv"));
    EXPECT_TRUE(ReadBytes(state.AppFolder + "/out.csv").startsWith("time,Return [Bar],Water [degC]"));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 1, 0, 500)));
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 1)));
    EXPECT_EQ(Row(0).mid(0, 8), (QStringList{"Boiler [Bar]", "0", "0", "", "", "", "", ""}));
}

} // namespace
