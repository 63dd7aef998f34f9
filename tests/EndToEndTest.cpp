// One real-time run: the real window, the real serial port service and the
// simulated instrument on a pseudo-terminal, on the system clock.
#include "AcquisitionSupport.h"
#include "WindowTestSupport.h"
#include "acquisition/Acquisition.h"
#include "acquisition/QtSerialPortService.h"
#include "config/DefaultSetup.h"
#include "data/StoringData.h"

#ifdef TARVEK_INSTRUMENT

TEST(EndToEnd, TwoQuarterMinuteScansShowValuesAndStoreOneRecord) {
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

    struct Scan {
        QString date, time;
        int storeDue;
        QStringList shown;
    };
    std::vector<Scan> scans;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, [&] {
        scans.push_back({d.ScanDate, d.ScanTime, d.StoreDue, {}});
        for (int i = 1; i <= 8; ++i)
            scans.back().shown << window.Form()->Label2(i)->text();
    });

    window.Form()->Command3()->click();
    ASSERT_TRUE(WaitUntil([&] { return scans.size() >= 2; }, 35000)) << instrument.Log().toStdString();
    EXPECT_TRUE(capture.messages.empty());
    for (const Scan& scan : scans) {
        EXPECT_EQ(scan.time.right(2).toInt() % 15, 0) << scan.time.toStdString();
        for (const QString& value : scan.shown)
            EXPECT_TRUE(value.size() == 9 && value != " No Data ") << scan.time.toStdString();
    }
    // Of two neighbouring quarter-minute marks exactly one is :00 or :30.
    ASSERT_NE(scans[0].storeDue, scans[1].storeDue);
    const Scan& stored = scans[0].storeDue == 1 ? scans[0] : scans[1];

    const QByteArray file = ReadBytes(d.AppFolder + "/datafiles/" + DataFileName(stored.date));
    QByteArray header = "Lastrecord;       1;";
    QByteArray record = (stored.date + ";" + stored.time + ";").toLatin1();
    for (const QString& value : stored.shown) {
        header += QByteArray(10, ' ') + ";" + QByteArray(5, ' ') + ";";
        record += value.toLatin1() + " ; Bar ;";
    }
    EXPECT_EQ(file, header + " *\r\n" + record + " *\r\n");
}

#endif
