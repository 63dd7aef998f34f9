// Acquisition through the real window and the scan cycle, on a fake clock and
// a fake port: the test plays the instrument and the passing seconds.
#include "AcquisitionFixture.h"
#include "data/StoringData.h"

TEST_F(AcquisitionTest, AQuarterMinuteScanShowsAndStoresItsValues) {
    form->Command3()->click();
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");
    EXPECT_EQ(form->LampColour(), LampGreen);
    EXPECT_TRUE(port.IsOpen()) << "Start opens the line";
    EXPECT_EQ(StatusRecord().at(21), '1');

    TickAt(QTime(10, 14, 59));
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");
    EXPECT_TRUE(port.Written().isEmpty());

    TickAt(QTime(10, 15, 0));
    EXPECT_EQ(window->Panel(5), " Acquisition in progress.. ");
    EXPECT_EQ(form->LampColour(), LampYellow);
    EXPECT_EQ(d.ScanDate, "05-03-2008");
    EXPECT_EQ(d.ScanTime, "10:15:00");
    Answer(GoodAnswer());

    EXPECT_EQ(Readings(), (QStringList{"   +1.000", "   +2.000", "   +3.000", "   +4.000", "   +5.000",
                                       "   +6.000", "   +7.000", "   +8.000"}));
    EXPECT_EQ(form->LampColour(), LampGreen);
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");
    EXPECT_FALSE(port.IsOpen()) << "the poll closes the port";

    const QByteArray file = DataFile();
    ASSERT_EQ(file.size(), 2 * 160);
    EXPECT_EQ(file.mid(14, 6), "    1;");
    QByteArray record = "05-03-2008;10:15:00;";
    for (int i = 1; i <= 8; ++i)
        record += "   +" + QByteArray::number(i) + ".000 ; Bar ;";
    record += " *\r\n";
    EXPECT_EQ(file.mid(160), record);
}

TEST_F(AcquisitionTest, AnswerShorterOrLongerThanEightFieldsIsCutAsItStands) {
    form->Command3()->click();
    TickAt(QTime(10, 15, 15));     // not a storing instant at 30 seconds
    Answer(GoodAnswer().left(47)); // channel 6 gets "+000600", 7 and 8 nothing
    EXPECT_EQ(Readings(), (QStringList{"   +1.000", "   +2.000", "   +3.000", "   +4.000", "   +5.000",
                                       "   +0.600", "   +0.000", "   +0.000"}));
    EXPECT_TRUE(DataFile().isEmpty());

    TickAt(QTime(10, 15, 30));
    Answer(GoodAnswer() + "+0009000 trailing");
    EXPECT_EQ(Readings().last(), "   +8.000");
    EXPECT_EQ(ReadHeaderCount(QString::fromLatin1(DataFile().left(160))), 1);
}

TEST_F(AcquisitionTest, StopJustBeforeAMarkLetsThatScanRunAndStoreFirst) {
    form->Command3()->click();
    TickAt(QTime(10, 14, 59));
    form->Command4()->click(); // at 10:14:59.5
    EXPECT_EQ(window->Panel(5), " Acquisition in ending ");
    EXPECT_EQ(form->LampColour(), LampRed);
    EXPECT_TRUE(form->Command3()->isVisibleTo(form));
    EXPECT_FALSE(form->Command4()->isVisibleTo(form));

    TickAt(QTime(10, 15, 0));
    EXPECT_EQ(form->LampColour(), LampYellow);
    TickAt(QTime(10, 15, 1)); // a second passes while the instrument answers
    EXPECT_EQ(d.AcquisitionFlag, "1") << "the stop waits for the scan";
    EXPECT_TRUE(window->Panel(6).endsWith("10:15:01"));
    Answer(GoodAnswer());

    EXPECT_EQ(d.AcquisitionFlag, "0");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
    EXPECT_EQ(form->LampColour(), LampGreen) << "the last scan's colour stays";
    EXPECT_EQ(StatusRecord().at(21), '0');
    EXPECT_EQ(DataFile().size(), 2 * 160);
    EXPECT_EQ(d.StopRequested, 1);

    TickAt(QTime(10, 15, 15));
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
    EXPECT_EQ(port.Written().count('\x80'), 1) << "no scan in stand-by";
}

TEST_F(AcquisitionTest, StopBetweenMarksEndsAtTheNextSecondWithoutAScan) {
    form->Command3()->click();
    TickAt(QTime(10, 15, 20));
    form->Command4()->click();
    TickAt(QTime(10, 15, 21));
    EXPECT_EQ(d.AcquisitionFlag, "0");
    EXPECT_EQ(window->Panel(5), " Acquisition in stand by ");
    EXPECT_EQ(form->LampColour(), LampRed);
    EXPECT_FALSE(port.IsOpen()) << "the stop path closes the line Start opened";
    EXPECT_TRUE(port.Written().isEmpty());
    EXPECT_EQ(StatusRecord().at(21), '0');
}

TEST_F(AcquisitionTest, StartStopStartWithinOneSecondKeepsRunning) {
    form->Command3()->click();
    form->Command4()->click();
    form->Command3()->click();
    TickAt(QTime(10, 14, 51));
    EXPECT_EQ(d.AcquisitionFlag, "1");
    EXPECT_EQ(d.StopRequested, 0);
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ");
    EXPECT_EQ(StatusRecord().at(21), '1');
}

TEST_F(AcquisitionTest, OneScanAtATime) {
    form->Command3()->click();
    TickAt(QTime(10, 15, 0));
    ASSERT_TRUE(WaitUntil([&] { return port.Written().endsWith('\x80'); }, 2000));
    port.InjectBytes("!");
    const int opens = port.OpenCount();

    // A slow instrument stretches the scan over the next mark: that mark gets
    // no scan, and Start pressed meanwhile leaves the poll's port alone.
    for (int s = 1; s <= 16; ++s)
        TickAt(QTime(10, 15, s));
    form->Command3()->click();
    EXPECT_EQ(port.OpenCount(), opens);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Written().count('\x80'), 1);
    EXPECT_EQ(window->Panel(5), " Waiting for acquisition ") << "Start's own text";
    EXPECT_TRUE(window->Panel(6).endsWith("10:15:16"));

    port.InjectBytes(GoodAnswer() + "\r");
    ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
    EXPECT_EQ(Readings().first(), "   +1.000");
    EXPECT_EQ(ReadHeaderCount(QString::fromLatin1(DataFile().left(160))), 1);

    TickAt(QTime(10, 15, 30));
    Answer(GoodAnswer());
    EXPECT_EQ(port.Written().count('\x80'), 2);
}

TEST_F(AcquisitionTest, AMissingPortIsReportedOnceAndScansGoOnWithNoData) {
    port.SetOpenFailure(true);
    MessageBoxCloser closer;
    form->Command3()->click();
    EXPECT_EQ(closer.SeenBoxes().size(), 1u);
    EXPECT_EQ(d.AcquisitionFlag, "1");
    EXPECT_EQ(form->LampColour(), LampGreen);

    for (const QTime& t : {QTime(10, 15, 0), QTime(10, 15, 15)}) {
        TickAt(t);
        ASSERT_TRUE(WaitUntil([&] { return !acquisition->ScanRunning(); }, 2000));
        EXPECT_EQ(Readings(), QStringList(8, " No Data "));
    }
    EXPECT_EQ(closer.SeenBoxes().size(), 1u) << "scans do not repeat the message";

    port.SetOpenFailure(false); // the adapter is back
    TickAt(QTime(10, 15, 30));
    Answer(GoodAnswer());
    EXPECT_EQ(Readings().first(), "   +1.000");
}

TEST_F(AcquisitionTest, AFailedStoreIsShownUntilTheNextStoreSucceeds) {
    QDir(d.AppFolder + "/datafiles").removeRecursively();
    WriteBytes(d.AppFolder + "/datafiles", "a file in the way");
    form->Command3()->click();
    TickAt(QTime(10, 15, 0));
    Answer(GoodAnswer());
    EXPECT_EQ(window->Panel(1), " Data not stored ");
    EXPECT_EQ(Readings().first(), "   +1.000") << "acquisition goes on";

    QFile::remove(d.AppFolder + "/datafiles");
    TickAt(QTime(10, 15, 15)); // not storing: the text stays
    Answer(GoodAnswer());
    EXPECT_EQ(window->Panel(1), " Data not stored ");
    TickAt(QTime(10, 15, 30));
    Answer(GoodAnswer());
    EXPECT_EQ(window->Panel(1), "");
    EXPECT_EQ(DataFile().size(), 2 * 160);
}

TEST_F(AcquisitionTest, LeavingDuringAScanReleasesThePort) {
    form->Command3()->click();
    TickAt(QTime(10, 15, 0));
    ASSERT_TRUE(WaitUntil([&] { return port.IsOpen() && port.Written().endsWith('\x80'); }, 2000));
    acquisition.reset();
    EXPECT_FALSE(port.IsOpen());
    RunEventsFor(150); // the reply time-out passes: nothing left to act on it
}

TEST(Timer1Phase, ArmsTowardTheNext200MillisecondBoundary) {
    EXPECT_EQ(MillisecondsToNextTick(QTime(10, 0, 0, 0)), 200);
    EXPECT_EQ(MillisecondsToNextTick(QTime(10, 0, 0, 1)), 199);
    EXPECT_EQ(MillisecondsToNextTick(QTime(10, 0, 14, 950)), 50);
    EXPECT_EQ(MillisecondsToNextTick(QTime(23, 59, 59, 999)), 1);
}
