// The acquisition control's rules as scripts: Start and Stop, the scan at each quarter-minute mark, one scan
// at a time, the stop after the scan, what a failed store or a missing line shows.
#include "support/AcquisitionSupport.h"

using namespace tarvek;

namespace {

// Steps: "start", "stop", "hh:mm:ss" a clock tick ("a..b" each second from a to b), "!" the instrument
// answers the select byte and "reply" the command, "end" waits for the scan to end ("answer": all three),
// "refuse" / "allow" the line's opening, "block" / "free" the data folder (a file in its way), "?" what is
// shown: state (acquisition waited for, progress, ending, stand-by), lamp (Green, Yellow, Red), the
// Start/Stop button (+ acquiring), the status file's flag, the port (o open, c closed) and its opens (Start's
// and each poll's), the polls, the readings (g good, n No Data, - none), "!" a store failure, serial line
// errors shown, then the records stored with the last one's time.
struct ScriptRow {
    const char *name, *steps, *shown, *stderrPart = "";
};

// Line 1, a record every 30 seconds, gain 1 and zero 0 on every channel.
class AcquisitionScript : public AppFolderTest, public ::testing::WithParamInterface<ScriptRow> {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        state.SetUp.SerialLine = state.SetUp.StorageRate = 1;
        for (int c = 1; c <= 8; ++c) {
            state.SetUp.ChannelParam[c][Declarations::Gain] = "1";
            state.SetUp.ChannelParam[c][Declarations::Zero] = "0";
        }
        state.TodayStamp = "05-03-2008";
        acquisition = std::make_unique<Acquisition>(state, view, port, 100);
    }
    void TickAt(const QString& time) { // as the window's clock tick does
        state.AcquisitionFlag == "1" ? acquisition->ActiveSecond(time) : void(view.state = StandByText);
    }
    QString Shown() const {
        const QByteArray data = ReadBytes(DataPath("03-2008-Data.txt"));
        const qsizetype records = qMax<qsizetype>(data.size() / 160 - 1, 0);
        const bool whole = data.size() % 160 == 0 && (data.isEmpty() || data.mid(14, 5).toInt() == records);
        QStringList good;
        for (int c = 1; c <= 8; ++c)
            good << QStringLiteral("   +%1.000").arg(c);
        const QMap<QStringList, QString> readings{{{}, "-"}, {good, "g"}, {QStringList(8, " No Data "), "n"}};
        return QStringLiteral("%1%2%3%4 %5%6 p%7 %8%9 e%10 %11@%12")
            .arg(
                view.state.simplified().section(' ', 2, 2).left(1),
                QMap<int, QString>{{LampGreen, "G"}, {LampYellow, "Y"}, {LampRed, "R"}}.value(view.lamp, "?"),
                view.acquiring ? "+" : "", ReadBytes(SettingPath(AcquisitionStatusFile)).mid(21, 1),
                port.IsOpen() ? "o" : "c", QString::number(port.OpenCount()),
                QString::number(port.Written().count('\x80')), readings.value(view.readings, "?"),
                view.storeFailed ? "!" : "", QString::number(view.serialErrors.size()),
                QString::number(whole ? records : -1), QString::fromLatin1(data.right(160).mid(11, 8)));
    }

    RecordingView view;
    FakeSerialPort port;
    std::unique_ptr<Acquisition> acquisition;
};

TEST_P(AcquisitionScript, ShowsStoresAndStopsAsTheStepsGo) {
    QStringList shown;
    QString err;
    WithStderr(err, [&] {
        for (const QString& step : QString(GetParam().steps).split(u' ', Qt::SkipEmptyParts))
            if (step == "start" || step == "stop")
                step == "start" ? acquisition->Start() : acquisition->Stop();
            else if (step == "answer")
                AnswerThePoll(port, *acquisition);
            else if (step == "!" || step == "reply")
                port.InjectBytes(step == "!" ? QByteArray("!") : GoodAnswer + "\r");
            else if (step == "end")
                EXPECT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000))
                    << "the scan runs on";
            else if (step == "refuse" || step == "allow")
                port.FailOpen(step == "refuse" ? "/dev/ttyS0: Permission denied" : "");
            else if (step == "block" || step == "free")
                step == "block" ? WriteBytes(DataPath({}).chopped(1), "a file in the way")
                                : void(QFile::remove(DataPath({}).chopped(1)));
            else if (step == "?")
                shown << Shown();
            else if (const qsizetype to = step.indexOf(".."); to > 0)
                for (int s = step.mid(6, 2).toInt(); s <= step.mid(to + 2).toInt(); ++s)
                    TickAt(step.left(6) + QStringLiteral("%1").arg(s, 2, 10, QChar('0')));
            else
                TickAt(step);
        return 0;
    });
    EXPECT_EQ(shown.join(", "), GetParam().shown);
    EXPECT_TRUE(err.contains(GetParam().stderrPart)) << qPrintable(err);
}

using Row = ScriptRow;
INSTANTIATE_TEST_SUITE_P(
    Scripts, AcquisitionScript,
    ::testing::Values(
        // Start opens the line, the poll closes it; the clocks going back an hour store the hour again, after
        // the first pass.
        Row{"AQuarterMinuteScanShowsAndStoresItsValues",
            "start ? 10:14:59 ? 10:15:00 ? answer ? 09:15:00 answer ?",
            "aG+1 o1 p0 - e0 0@, aG+1 o1 p0 - e0 0@, pY+1 o2 p1 - e0 0@, aG+1 c2 p1 g e0 1@10:15:00, "
            "aG+1 c3 p2 g e0 2@09:15:00"},
        // The scan at the mark runs and stores; the last scan's colour stays.
        Row{"StopJustBeforeAMarkLetsThatScanRunAndStoreFirst",
            "start 10:14:59 stop ? 10:15:00 10:15:01 ? answer ? 10:15:15 ?",
            "eR1 o1 p0 - e0 0@, pY1 o2 p1 - e0 0@, sG0 c2 p1 g e0 1@10:15:00, sG0 c2 p1 g e0 1@10:15:00"},
        // The stop closes the line Start opened; Start, Stop, Start within one second: acquisition runs on.
        Row{"StopBetweenMarksEndsAtTheNextSecondWithoutAScan",
            "start 10:15:20 stop 10:15:21 ? start stop start 10:15:22 ?",
            "sR0 c1 p0 - e0 0@, aG+1 o3 p0 - e0 0@"},
        // A slow instrument stretches the scan over the next mark: that mark gets no scan, and Start pressed
        // meanwhile leaves the poll's port alone.
        Row{"OneScanAtATime", "start 10:15:00 ! 10:15:01..10:15:16 start ? reply end ? 10:15:30 answer ?",
            "aG+1 o2 p1 - e0 0@, aG+1 c2 p1 g e0 1@10:15:00, aG+1 c3 p2 g e0 2@10:15:30"},
        // Said once with its reason; the scans go on with No Data until the adapter is back.
        Row{"AMissingLineIsReportedOnceWithItsReasonAndScansGoOnWithNoData",
            "refuse start ? 10:15:00 end ? 10:15:15 end ? allow 10:15:30 answer ?",
            "aG+1 c0 p0 - e1 0@, aG+1 c0 p0 n e1 1@10:15:00, aG+1 c0 p0 n e1 1@10:15:00, aG+1 c1 p1 g e1 "
            "2@10:15:30",
            "serial line 1 is not available: /dev/ttyS0: Permission denied"},
        // Acquisition goes on; 10:15:15 stores nothing, so the failure stays.
        Row{"AFailedStoreIsShownUntilTheNextStoreSucceeds",
            "block start 10:15:00 answer ? free 10:15:15 answer ? 10:15:30 answer ?",
            "aG+1 c2 p1 g! e0 0@, aG+1 c3 p2 g! e0 0@, aG+1 c4 p3 g e0 1@10:15:30"}),
    RowName);

} // namespace
