// The viewer's window, headless: a folder opened, a span chosen, the
// strips by unit, the time ticks, the statistics and the periods outside.
#include "viewer/ui/ViewerWindow.h"
#include "common/TextHelpers.h"
#include "data/MonthFiles.h"
#include "viewer/EventSource.h"
#include "viewer/ui/AlarmPane.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

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
    QStringList Row(int row, const QString& table = "Statistics of the visible span") {
        const QAbstractItemModel* model = Find<QTableView>(table)->model();
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells += model->index(row, c).data().toString();
        return cells;
    }

    ViewerWindow window{QTimeZone::utc()};
};

// The statistics, the periods and From and To follow the span shown, also
// in follow mode; a channel switched off leaves the table (for a screen
// reader too) and the export; an empty chart shows no dates. Names from the
// set-up are text, never markup; the read-out never widens the window.
TEST_F(ViewerWindowTest, TheStatisticsAndThePeriodsFollowTheChosenSpan) {
    window.Open({state.AppFolder + "/datafiles"});
    EXPECT_TRUE(window.Chart()->Ticks().empty());
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + ChannelLine("Boiler", "Bar", "0", "5") +
                   ChannelLine("Return", "Bar", "0") + ChannelLine("Water", "degC", "", "abc") +
                   ChannelLine("<img src=/dev/zero>", "mbar"));
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
    EXPECT_EQ(Row(1).mid(8), (QStringList{"0", ""})); // a minimum only: no count above
    EXPECT_EQ(Row(0, "Periods outside limits"),
              (QStringList{"Boiler [Bar]", "2025-03-05 10:00:30", "2025-03-05 10:00:30", "above", "5.500",
                           "2025-03-05 10:00:30", "1"}));
    const Trend& trend = window.Session().Source().Data();
    const auto shownSpan = [&] { return std::pair{window.Chart()->Span().from, window.Chart()->Span().to}; };
    auto* readOut = Find<QLabel>("Values under the pointer");
    const int width = window.width();
    emit window.Chart()->PointerAt(trend.UtcMs(0) + 1000);
    EXPECT_TRUE(readOut->text().startsWith("2025-03-05 10:00:00   Boiler [Bar]: 1.000   Return") &&
                readOut->text().contains("   <img src=/dev/zero> [mbar]: 1.000   "))
        << qPrintable(readOut->text());
    QCoreApplication::processEvents();
    EXPECT_EQ(window.width(), width);

    // One strip per unit: the two in Bar, the one in degC, in mbar, those
    // without a unit; the time axis over the span.
    std::vector<std::vector<int>> strips;
    for (const FittedStrip& strip : window.Chart()->Strips())
        strips.push_back(strip.place.group.channels);
    EXPECT_EQ(strips, (std::vector<std::vector<int>>{{0, 1}, {2}, {3}, {4, 5, 6, 7}}));
    EXPECT_EQ(AxisUnit(window.Chart()->Strips()[3].place.group, window.Session().Source().Channels()), "Bar")
        << "as its legend";
    EXPECT_EQ(window.Chart()->Ticks().at(0).utcMs, trend.UtcMs(0));

    // The unreadable limit is named once, and stays once as the file grows.
    const QString unreadable = "Water [degC]: the alarm maximum \"abc\"";
    EXPECT_EQ(Find<QLabel>("Problems")->text().count(unreadable), 1);
    StoreScan("05-03-2025", "10:02:30", "   +9.000", "   +1.000");
    window.Follow();
    EXPECT_EQ(Find<QLabel>("Problems")->text().count(unreadable), 1);
    EXPECT_EQ(Find<QTableView>("Periods outside limits")->model()->rowCount(), 3);
    EXPECT_EQ(shownSpan(), std::pair(trend.UtcMs(0), trend.UtcMs(5))); // the span moves on
    const auto shown = [&](const char* edit) { return Find<QDateTimeEdit>(edit)->dateTime().time(); };
    EXPECT_EQ(std::pair(shown("From"), shown("To")), std::pair(QTime(10, 0), QTime(10, 2, 30)));
    EXPECT_EQ(window.statusBar()->currentMessage(), "1 files, 6 records");

    EXPECT_FALSE(Find<QDateTimeEdit>("From")->isEnabled());
    Find<QComboBox>("Span")->setCurrentIndex(int(ViewerWindow::FromTo));
    EXPECT_TRUE(Find<QDateTimeEdit>("From")->isEnabled() && Find<QDateTimeEdit>("To")->isEnabled());
    const QDate day(2025, 3, 5);
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 30)));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 0, 30)));
    EXPECT_EQ(Row(0)[1], "2"); // records
    Find<QCheckBox>("Show Boiler [Bar]")->setChecked(false);
    EXPECT_EQ(Row(0).first(), "Return [Bar]"); // the hidden channel's row leaves the table
    EXPECT_EQ(Find<QTableView>("Statistics of the visible span")->model()->rowCount(), 7);
    ASSERT_TRUE(window.ExportTo(state.AppFolder + "/out.csv"));
    EXPECT_TRUE(ReadBytes(state.AppFolder + "/out.csv").startsWith("time,Return [Bar],Water [degC]"));
    Find<QDateTimeEdit>("From")->setDateTime(QDateTime(day, QTime(10, 1, 0, 500)));
    Find<QDateTimeEdit>("To")->setDateTime(QDateTime(day, QTime(10, 1, 1)));
    EXPECT_EQ(Row(0).mid(0, 8), (QStringList{"Return [Bar]", "0", "0", "", "", "", "", ""}));
    // A zoom leaves the user's own span in the fields.
    const auto [fields, before] = std::pair(std::pair(shown("From"), shown("To")), shownSpan());
    QKeyEvent zoomOut(QEvent::KeyPress, Qt::Key_Minus, Qt::NoModifier);
    QCoreApplication::sendEvent(window.Chart(), &zoomOut);
    EXPECT_EQ(std::pair(std::pair(shown("From"), shown("To")), shownSpan() != before),
              std::pair(fields, true));
}

// Each format by the name's suffix, in any case, CSV for any other; exports
// are whole or not there: a file-size limit fails them with the reason, and
// neither a file nor a half is left.
TEST_F(ViewerWindowTest, ExportsGoByTheSuffixAndFailWholeUnderAFileSizeLimit) {
    StoreScan("05-03-2025", "10:00:00", "   +1.000", "   +1.000");
    window.Open({state.AppFolder + "/datafiles"});
    for (const auto& [name, starts] : {std::pair{"chart.PNG", "\x89PNG"}, std::pair{"chart.pdf", "%PDF"},
                                       std::pair{"chart.txt", "time,"}}) {
        const QString path = state.AppFolder + '/' + name;
        {
            FileSizeLimit limit(100);
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(window.ExportTo(path)) << name;
        }
        EXPECT_FALSE(QFileInfo::exists(path)) << name;
        EXPECT_TRUE(Find<QLabel>("Problems")->text().contains(path + ": cannot write (File too large)"))
            << qPrintable(Find<QLabel>("Problems")->text());
        EXPECT_TRUE(window.ExportTo(path));
        EXPECT_TRUE(ReadBytes(path).startsWith(starts)) << name;
    }
    EXPECT_EQ(QDir(state.AppFolder).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// The alarms tab from the data folder's logs: the count in its title, the
// banner, its line read whole; each acknowledgement is one record with the
// user and the comment in the current month's log, moves the alarm and
// reaches a second window at once; one who may not write the folder is told
// why. Channels the set-up marks inactive start unchecked.
TEST_F(ViewerWindowTest, AcknowledgingRecordsWhoAndMovesTheAlarm) {
    const QString active = WithChannelField(ChannelLine("Boiler", "Bar"), Declarations::Active, "1");
    WriteBytes(SettingPath("channelsparameters.txt"), Record("").repeated(10) + active.toLatin1());
    StoreScan("05-03-2025", "10:00:00", "   +1.000", "   +1.000");
    const Event high = EventOf("05-03-2025", "10:00:00", "HIGH", 1, "RAISED", "  +12.000", "10");
    const Event low = EventOf("05-03-2025", "10:00:30", "LOW", 2, "RAISED", "   -1.000", "0");
    const Event stopped = EventOf("05-03-2025", "10:00:40", "ACQUISITION", 0, "STOPPED");
    WriteBytes(DataPath("03-2025-Events.txt"),
               (BuildEventRecord(high) + BuildEventRecord(low) + BuildEventRecord(stopped)).toLatin1() + "x");
    window.Open({state.AppFolder + "/datafiles"});
    ViewerWindow second{QTimeZone::utc()};
    second.Open({state.AppFolder + "/datafiles"});
    EXPECT_FALSE(Find<QCheckBox>("Show Ch.2 [Bar]")->isChecked());
    const auto tab = [](ViewerWindow& w) { return w.findChild<QTabWidget*>()->tabText(2); };
    EXPECT_EQ(tab(window), "Alar&ms (2)");
    EXPECT_EQ(Find<QLabel>("Alarms needing attention")->text(),
              "2 alarms: Boiler above maximum since 05-03-2025 10:00:00, Ch.2 below minimum since 05-03-2025 "
              "10:00:30");
    EXPECT_TRUE(window.statusBar()->currentMessage().endsWith("; 1 event records skipped"));
    // A screen reader reads the tab's line whole, as every line of the window.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.findChild<AlarmPane*>()->findChild<QLabel*>())
                  ->text(QAccessible::Name),
              "Acquisition stopped since 05-03-2025 10:00:40: nobody is watching.");
    EXPECT_EQ(Row(0, "Events of the visible span")[3], "RAISED");
    ASSERT_EQ(window.Chart()->Marks().size(), 1u) << "the LOW is raised after the span";
    EXPECT_EQ(window.Chart()->Stretches().size(), 1u);

    // The second window's one-second step stopped: the file system's
    // notifications alone bring it the new month's log, then what it gained.
    for (QTimer* timer : second.findChildren<QTimer*>())
        timer->stop();
    Find<QTableView>("Current alarms")->selectRow(1);
    Find<QPushButton>("Acknowledge")->click();
    EXPECT_EQ(tab(window), "Alar&ms (1)");
    EXPECT_TRUE(WaitUntil([&] { return tab(second) == "Alar&ms (1)"; })) << qPrintable(tab(second));
    EXPECT_EQ(Row(1, "Current alarms")[0], "active, acknowledged");
    Find<QLineEdit>("Comment")->setText("valve checked");
    Find<QPushButton>("Acknowledge all")->click();
    EXPECT_TRUE(Find<QLabel>("Alarms needing attention")->isHidden());
    EXPECT_TRUE(Find<QLabel>("Problems")->isHidden()) << qPrintable(Find<QLabel>("Problems")->text());
    const QByteArray log = ReadBytes(DataPath(EventFileName(DateStamp(QDate::currentDate()))));
    ASSERT_EQ(log.size(), 2 * EventRecordLength);
    const Event acknowledged =
        EventOf("", "", "HIGH", 1, "ACKNOWLEDGED", "", "", RealUserName(), "valve checked");
    EXPECT_EQ(log.mid(EventRecordLength + 20), BuildEventRecord(acknowledged).toLatin1().mid(20));
    EXPECT_TRUE(WaitUntil([&] { return tab(second) == "Alar&ms (0)"; })) << qPrintable(tab(second));

    ASSERT_EQ(chmod(qPrintable(state.AppFolder), 0755), 0);
    EXPECT_EXIT(
        {
            DropToNobody();
            EventSource events;
            events.Open(state.AppFolder + "/datafiles");
            const FileOutcome o =
                events.Acknowledge(events.Fold().alarms, "x", "", QDateTime::currentDateTime());
            std::fputs(qPrintable(o.message), stderr);
            std::_Exit(o || events.Fold().alarms.size() != 2 ? 1 : 0);
        },
        ::testing::ExitedWithCode(0),
        "Not acknowledged: .*-Events.txt: cannot open .Permission denied.; only those who may write the data "
        "folder can acknowledge");
}

} // namespace
