// The acquisition control's rules: Start and Stop, the scan at each
// quarter-minute mark, one scan at a time, the stop after the scan, what a
// failed store or a missing line shows.
#include "acquisition/Acquisition.h"
#include "support/AcquisitionSupport.h"
#include "support/FakeSerialPort.h"
#include "support/TestSupport.h"

using namespace tarvek;

namespace {

const QStringList GoodReadings{"   +1.000", "   +2.000", "   +3.000", "   +4.000",
                               "   +5.000", "   +6.000", "   +7.000", "   +8.000"};

// Line 1, a record every 30 seconds, gain 1 and zero 0 on every channel.
class AcquisitionTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        state.SetUp.SerialLine = state.SetUp.StorageRate = 1;
        for (int c = 1; c <= 8; ++c) {
            state.SetUp.ChannelParam[c][Declarations::Gain] = "1";
            state.SetUp.ChannelParam[c][Declarations::Zero] = "0";
        }
        state.TodayStamp = "05-03-2008";
        // A short reply time-out keeps the silent-instrument cases quick.
        acquisition = std::make_unique<Acquisition>(state, view, port, 100);
    }

    // What the clock tick does at `time` ("hh:mm:ss").
    void TickAt(const QString& time) {
        if (state.AcquisitionFlag == "1")
            acquisition->ActiveSecond(time);
        else
            view.state = StandByText;
    }
    void Answer() { AnswerThePoll(port, *acquisition); }
    void ScanAt(const QString& time) {
        TickAt(time);
        Answer();
    }
    QByteArray DataFile() const { return ReadBytes(DataPath("03-2008-Data.txt")); }
    char StatusFlag() const { return ReadBytes(SettingPath(AcquisitionStatusFile)).at(21); }

    RecordingView view;
    FakeSerialPort port;
    std::unique_ptr<Acquisition> acquisition;
};

TEST_F(AcquisitionTest, AQuarterMinuteScanShowsAndStoresItsValues) {
    acquisition->Start();
    EXPECT_TRUE(view.acquiring);
    EXPECT_EQ(view.state, " Waiting for acquisition ");
    EXPECT_EQ(view.lamp, LampGreen);
    EXPECT_TRUE(port.IsOpen()) << "Start opens the line";
    EXPECT_EQ(StatusFlag(), '1');

    TickAt("10:14:59");
    EXPECT_TRUE(port.Written().isEmpty());
    TickAt("10:15:00");
    EXPECT_EQ(view.state, " Acquisition in progress.. ");
    EXPECT_EQ(view.lamp, LampYellow);
    Answer();
    EXPECT_EQ(view.readings, GoodReadings);
    EXPECT_EQ(view.state, " Waiting for acquisition ");
    EXPECT_EQ(view.lamp, LampGreen);
    EXPECT_FALSE(port.IsOpen()) << "the poll closes the port";

    EXPECT_TRUE(DataFile().mid(160).startsWith("05-03-2008;10:15:00;   +1.000 ; Bar ;   +2.000 ; Bar ;"));

    ScanAt("09:15:00"); // the clocks go back an hour: the hour is stored again, after the first pass
    ExpectWholeDataFile(DataFile(), 2);
    EXPECT_TRUE(DataFile().mid(320).startsWith("05-03-2008;09:15:00;"));
}

TEST_F(AcquisitionTest, StopJustBeforeAMarkLetsThatScanRunAndStoreFirst) {
    acquisition->Start();
    TickAt("10:14:59");
    acquisition->Stop(); // at 10:14:59.5
    EXPECT_FALSE(view.acquiring);
    EXPECT_EQ(view.state, " Acquisition in ending ");
    EXPECT_EQ(view.lamp, LampRed);

    TickAt("10:15:00");
    TickAt("10:15:01"); // a second passes while the instrument answers
    EXPECT_EQ(state.AcquisitionFlag, "1") << "the stop waits for the scan";
    Answer();
    EXPECT_EQ(state.AcquisitionFlag, "0");
    EXPECT_EQ(view.state, StandByText);
    EXPECT_EQ(view.lamp, LampGreen) << "the last scan's colour stays";
    EXPECT_EQ(StatusFlag(), '0');
    ExpectWholeDataFile(DataFile(), 1);
    TickAt("10:15:15");
    EXPECT_EQ(port.Written().count('\x80'), 1) << "no scan in stand-by";
}

TEST_F(AcquisitionTest, StopBetweenMarksEndsAtTheNextSecondWithoutAScan) {
    acquisition->Start();
    TickAt("10:15:20");
    acquisition->Stop();
    TickAt("10:15:21");
    EXPECT_EQ(state.AcquisitionFlag, "0");
    EXPECT_EQ(view.state, StandByText);
    EXPECT_EQ(view.lamp, LampRed);
    EXPECT_FALSE(port.IsOpen()) << "the stop path closes the line Start opened";
    EXPECT_EQ(StatusFlag(), '0');

    // Start, Stop, Start within one second: acquisition runs on.
    acquisition->Start();
    acquisition->Stop();
    acquisition->Start();
    TickAt("10:15:22");
    EXPECT_EQ(StatusFlag(), '1');
}

TEST_F(AcquisitionTest, OneScanAtATime) {
    acquisition->Start();
    TickAt("10:15:00");
    ASSERT_TRUE(WaitUntil([&] { return port.Written().endsWith('\x80'); }, 2000));
    port.InjectBytes("!");
    const int opens = port.OpenCount();

    // A slow instrument stretches the scan over the next mark: that mark gets
    // no scan, and Start pressed meanwhile leaves the poll's port alone.
    for (int s = 1; s <= 16; ++s)
        TickAt(QStringLiteral("10:15:%1").arg(s, 2, 10, QChar('0')));
    acquisition->Start();
    EXPECT_EQ(port.OpenCount(), opens);
    EXPECT_TRUE(port.IsOpen());
    port.InjectBytes(GoodAnswer + "\r");
    ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
    EXPECT_EQ(view.readings, GoodReadings);
    ScanAt("10:15:30");
    EXPECT_EQ(port.Written().count('\x80'), 2);
    ExpectWholeDataFile(DataFile(), 2);
}

TEST_F(AcquisitionTest, AMissingLineIsReportedOnceWithItsReasonAndScansGoOnWithNoData) {
    port.FailOpen("/dev/ttyS0: Permission denied");
    QString err;
    WithStderr(err, [&] { return acquisition->Start(), 0; });
    EXPECT_EQ(view.serialErrors, QStringList{"/dev/ttyS0: Permission denied"});
    EXPECT_TRUE(err.contains("serial line 1 is not available: /dev/ttyS0: Permission denied"))
        << qPrintable(err);
    EXPECT_EQ(state.AcquisitionFlag, "1");
    for (const char* time : {"10:15:00", "10:15:15"}) {
        TickAt(time);
        ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
        EXPECT_EQ(view.readings, QStringList(8, " No Data "));
    }
    EXPECT_EQ(view.serialErrors.size(), 1) << "scans do not repeat the message";

    port.FailOpen({}); // the adapter is back
    ScanAt("10:15:30");
    EXPECT_EQ(view.readings, GoodReadings);
}

TEST_F(AcquisitionTest, AFailedStoreIsShownUntilTheNextStoreSucceeds) {
    WriteBytes(state.AppFolder + "/datafiles", "a file in the way");
    acquisition->Start();
    ScanAt("10:15:00");
    EXPECT_TRUE(view.storeFailed);
    EXPECT_EQ(view.readings, GoodReadings) << "acquisition goes on";
    QFile::remove(state.AppFolder + "/datafiles");
    ScanAt("10:15:15"); // not storing: the failure stays shown
    EXPECT_TRUE(view.storeFailed);
    ScanAt("10:15:30");
    EXPECT_FALSE(view.storeFailed);
}

} // namespace
