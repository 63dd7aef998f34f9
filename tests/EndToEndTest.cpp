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
    MessageBoxCloser closer;
    SystemClock clock;
    MDIForm1 window(d, clock);
    window.Load();
    QtSerialPortService port(d.AppFolder);
    Acquisition acquisition(d, window, port, clock);
    window.show();

    struct Scan {
        QString date, time;
        int storeDue;
        std::array<QString, 8> values;
        QStringList labels;
    };
    std::vector<Scan> scans;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, [&] {
        Scan scan{d.ScanDate, d.ScanTime, d.StoreDue, {}, {}};
        for (int i = 1; i <= 8; ++i) {
            scan.values[i - 1] = d.ChannelValue[i];
            scan.labels << window.Form()->Label2(i)->text();
        }
        scans.push_back(scan);
    });

    window.Form()->Command3()->click();
    ASSERT_TRUE(WaitUntil([&] { return scans.size() >= 2; }, 35000)) << instrument.Log().toStdString();
    EXPECT_TRUE(closer.SeenBoxes().empty());
    EXPECT_TRUE(capture.messages.empty());

    for (const Scan& scan : scans) {
        EXPECT_TRUE(scan.time.endsWith(":00") || scan.time.endsWith(":15") || scan.time.endsWith(":30") ||
                    scan.time.endsWith(":45"))
            << scan.time.toStdString();
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(scan.labels[i], scan.values[i]);
            EXPECT_EQ(scan.values[i].size(), 9);
            EXPECT_NE(scan.values[i], " No Data ")
                << "channel " << i + 1 << " at " << scan.time.toStdString();
        }
    }
    // Of two neighbouring quarter-minute marks exactly one is :00 or :30.
    const auto stored =
        std::find_if(scans.begin(), scans.end(), [](const Scan& s) { return s.storeDue == 1; });
    ASSERT_NE(stored, scans.end());
    EXPECT_EQ(std::count_if(scans.begin(), scans.begin() + 2, [](const Scan& s) { return s.storeDue == 1; }),
              1);

    const QByteArray file = ReadBytes(d.AppFolder + "/datafiles/" + DataFileName(stored->date));
    QByteArray header = "Lastrecord;       1;";
    QByteArray record = (stored->date + ";" + stored->time + ";").toLatin1();
    for (int i = 0; i < 8; ++i) {
        header += QByteArray(10, ' ') + ";" + QByteArray(5, ' ') + ";";
        record += stored->values[i].toLatin1() + " ; Bar ;";
    }
    EXPECT_EQ(file, header + " *\r\n" + record + " *\r\n");
}

#endif
