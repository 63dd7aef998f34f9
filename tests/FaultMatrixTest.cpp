// What an installation meets, row by row, through the real window, port
// service and acquisition control: misbehaving instruments and a line that
// comes and goes. Nothing may crash or hang, every stored record is whole, and
// the values come back by themselves once the fault is gone.
#include "AcquisitionSupport.h"
#include "WindowTestSupport.h"
#include "acquisition/Acquisition.h"
#include "acquisition/QtSerialPortService.h"
#include "config/DefaultSetup.h"

#include <QRegularExpression>

#ifdef TARVEK_INSTRUMENT

namespace {

// What a scan shows on the eight channels.
enum class Shown { Values, NoData, Channel5Invalid };

struct InstrumentRow {
    const char* name;
    QStringList arguments;
    Shown first, second; // scans
};

// The real serial port service against the simulated instrument; the test
// still moves the clock, so each row takes only as long as its exchanges.
class SimulatedAcquisition : public WindowTest {
  protected:
    void Begin(const QStringList& instrumentArguments) {
        instrument = std::make_unique<SimulatedInstrument>(instrumentArguments);
        ASSERT_TRUE(instrument->Started());
        d.AppFolder = instrument->Folder();
        ASSERT_TRUE(InstallDefaultSetup(d.AppFolder));
        clock.Set(QDateTime(QDate(2008, 3, 5), QTime(10, 14, 59)));
        OpenWindow();
        window->Timer1()->stop();
        port = std::make_unique<QtSerialPortService>(d.AppFolder);
        acquisition = std::make_unique<Acquisition>(d, *window, *port, *window->TimerTimeoutCom());
        window->Attach(*acquisition);
        QObject::connect(acquisition.get(), &Acquisition::ScanEnded, [this] { ++scans; });
        form->Command3()->click();
    }
    void TearDown() override {
        acquisition.reset();
        port.reset();
        WindowTest::TearDown();
    }
    void ScanAt(const QTime& time) {
        const int before = scans;
        clock.Set(QDateTime(QDate(2008, 3, 5), time));
        window->ClockTick();
        ASSERT_TRUE(WaitUntil([&] { return scans > before; }, 6000)) << instrument->Log().toStdString();
    }
    QString Reading(int n) const { return form->Label2(n)->text(); }
    void ExpectShown(Shown shown) {
        static const QRegularExpression value(QStringLiteral("^ *[+-][0-9]+\\.[0-9]{3}$"));
        for (int n = 1; n <= 8; ++n) {
            if (shown == Shown::NoData)
                EXPECT_EQ(Reading(n), " No Data ") << "channel " << n;
            else if (shown == Shown::Channel5Invalid && n == 5)
                EXPECT_EQ(Reading(n), " ======= ");
            else
                EXPECT_TRUE(value.match(Reading(n)).hasMatch())
                    << "channel " << n << ": " << Reading(n).toStdString();
        }
        EXPECT_EQ(form->LampColour(), LampGreen);
    }

    std::unique_ptr<SimulatedInstrument> instrument;
    std::unique_ptr<QtSerialPortService> port;
    std::unique_ptr<Acquisition> acquisition;
    int scans = 0;
};

class InstrumentFaults : public SimulatedAcquisition, public ::testing::WithParamInterface<InstrumentRow> {};

TEST_P(InstrumentFaults, EachScanEndsAndIsStoredWhole) {
    Begin(GetParam().arguments);
    ScanAt(QTime(10, 15, 0));
    ExpectShown(GetParam().first);
    ScanAt(QTime(10, 15, 30));
    ExpectShown(GetParam().second);
    ExpectWholeDataFile(ReadBytes(d.AppFolder + "/datafiles/03-2008-Data.txt"), 2);
    EXPECT_FALSE(port->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Instrument, InstrumentFaults,
    ::testing::Values(
        InstrumentRow{"Normal", {}, Shown::Values, Shown::Values},
        InstrumentRow{"Silent", {"--mode", "silent"}, Shown::NoData, Shown::NoData},
        InstrumentRow{"EndlessAnswer", {"--mode", "endless", "--no-pacing"}, Shown::NoData, Shown::NoData},
        InstrumentRow{"InvalidField", {"--mode", "invalid"}, Shown::Channel5Invalid, Shown::Channel5Invalid},
        InstrumentRow{"HangUpMidAnswer", {"--mode", "hangup"}, Shown::NoData, Shown::Values}),
    RowName);

} // namespace

#endif
