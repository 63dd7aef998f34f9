// One real-time run: the real window, the real serial port service and the
// simulated instrument on a pseudo-terminal, on the system clock.
#include "AcquisitionSupport.h"
#include "WindowTestSupport.h"
#include "acquisition/Acquisition.h"
#include "acquisition/QtSerialPortService.h"
#include "config/DefaultSetup.h"
#include "data/StoringData.h"

#ifdef TARVEK_INSTRUMENT

TEST(EndToEnd, TheNextQuarterMinuteScanShowsValuesAndStoresWhenDue) {
    SimulatedInstrument instrument({});
    ASSERT_TRUE(instrument.Started());
    Declarations d;
    d.AppFolder = instrument.Folder();
    ASSERT_TRUE(InstallDefaultSetup(d.AppFolder)); // line 1, a record every 30 seconds

    MessageCapture capture;
    SystemClock clock;
    MDIForm1 window(d, clock);
    window.Load();
    QtSerialPortService port(d.AppFolder);
    Acquisition acquisition(d, window, port, *window.TimerTimeoutCom());
    window.Attach(acquisition);
    window.show();

    bool scanned = false;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, [&] { scanned = true; });
    window.Form()->Command3()->click();
    ASSERT_TRUE(WaitUntil([&] { return scanned; }, 20000)) << instrument.Log().toStdString();
    EXPECT_TRUE(capture.messages.empty());
    EXPECT_EQ(d.ScanTime.right(2).toInt() % 15, 0) << d.ScanTime.toStdString();

    // The values shown are those stored, when the scan's second was a storing one.
    QByteArray record = (d.ScanDate + ";" + d.ScanTime + ";").toLatin1();
    for (int i = 1; i <= 8; ++i) {
        const QString value = window.Form()->Label2(i)->text();
        EXPECT_TRUE(value.size() == 9 && value != " No Data ") << value.toStdString();
        record += value.toLatin1() + " ; Bar ;";
    }
    const QByteArray file = ReadBytes(d.AppFolder + "/datafiles/" + DataFileName(d.ScanDate));
    EXPECT_EQ(file.mid(160), d.StoreDue == 1 ? record + " *\r\n" : QByteArray());
}

#endif
