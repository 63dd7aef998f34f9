// What an installation meets, row by row, through the real window, port
// service and acquisition control against the simulated instrument: nothing
// may crash or hang, every stored record is whole, and the values come back
// by themselves once the fault is gone.
#include "acquisition/Acquisition.h"
#include "acquisition/DeviceSerialPortService.h"
#include "common/Folders.h"
#include "config/DefaultSetup.h"
#include "config/InstrumentParameters.h"
#include "support/AcquisitionSupport.h"
#include "support/WindowTestSupport.h"

#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// The simulated instrument beside the test program. A build without it skips
// these tests, saying so, instead of leaving them out unseen.
#ifndef TARVEK_INSTRUMENT
#define TARVEK_INSTRUMENT ""
#endif
const QString InstrumentProgram = QStringLiteral(TARVEK_INSTRUMENT);
#define REQUIRE_INSTRUMENT()                                                                                 \
    if (InstrumentProgram.isEmpty())                                                                         \
    GTEST_SKIP() << "built without the simulated instrument (tools/instrument)"

// What a scan shows on the eight channels.
enum class Shown { Values, NoData };

struct InstrumentRow {
    const char* name;
    QStringList arguments;
    Shown first, second;             // scans
    const char* registers = nullptr; // Modbus RTU devices with these registers in the instrument's place
};

// Device 1's holding registers 0..7, where the default instrument set-up
// looks once its protocol is Modbus RTU.
const char* const EightRegisters = "1 holding 0 1000\n1 holding 1 2000\n1 holding 2 3000\n1 holding 3 4000\n"
                                   "1 holding 4 5000\n1 holding 5 6000\n1 holding 6 7000\n1 holding 7 8000\n";

// The test still moves the clock, so each row takes only as long as its exchanges.
class InstrumentFaults : public WindowTest, public ::testing::WithParamInterface<InstrumentRow> {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        REQUIRE_INSTRUMENT();
        QStringList arguments = GetParam().arguments;
        if (GetParam().registers) {
            WriteBytes(state.AppFolder + "/registers.txt", GetParam().registers);
            arguments << "--modbus" << state.AppFolder + "/registers.txt";
        }
        instrument.start(InstrumentProgram,
                         QStringList{"--folder", state.AppFolder, "--line", "1", "--verbose"} + arguments);
        ASSERT_TRUE(instrument.waitForStarted(10000) &&
                    WaitUntil([&] { return QFileInfo::exists(state.AppFolder + "/ports/COM1"); }));
        ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
        if (GetParam().registers) {
            QByteArray setUp = ReadBytes(SettingPath(InstrumentParametersFile));
            setUp.replace(At(ProtocolRecord, 1), 80, GeneralRecord("Protocol", "Modbus RTU").toLatin1());
            WriteBytes(SettingPath(InstrumentParametersFile), setUp);
        }
        clock.Set(QDateTime(QDate(2008, 3, 5), QTime(10, 14, 59)));
        OpenWindow();
        window->Timer1()->stop();
        port = std::make_unique<DeviceSerialPortService>(state.AppFolder);
        acquisition = std::make_unique<Acquisition>(state, *window, *port);
        window->Attach(*acquisition);
        QObject::connect(acquisition.get(), &Acquisition::ScanEnded, [this] { ++scans; });
        form->Command3()->click();
    }
    void TearDown() override {
        acquisition.reset();
        port.reset();
        instrument.terminate();
        instrument.waitForFinished(10000);
        WindowTest::TearDown();
    }
    void ScanAt(const QTime& time, Shown shown) {
        const int before = scans;
        clock.Set(QDateTime(QDate(2008, 3, 5), time));
        window->ClockTick();
        ASSERT_TRUE(WaitUntil([&] { return scans > before; }, 6000))
            << instrument.readAllStandardError().data();
        static const QRegularExpression value(QStringLiteral("^ *[+-][0-9]+\\.[0-9]{3}$"));
        for (int n = 1; n <= 8; ++n) {
            const QString reading = form->Label2(n)->text();
            EXPECT_TRUE(shown == Shown::NoData ? reading == " No Data " : value.match(reading).hasMatch())
                << "channel " << n << ": [" << reading.toStdString() << "]";
        }
        EXPECT_EQ(form->LampColour(), LampGreen);
    }

    QProcess instrument;
    std::unique_ptr<DeviceSerialPortService> port;
    std::unique_ptr<Acquisition> acquisition;
    int scans = 0;
};

TEST_P(InstrumentFaults, EachScanEndsAndIsStoredWhole) {
    ScanAt(QTime(10, 15, 0), GetParam().first);
    ScanAt(QTime(10, 15, 30), GetParam().second);
    ExpectWholeDataFile(ReadBytes(state.AppFolder + "/datafiles/03-2008-Data.txt"), 2);
    EXPECT_FALSE(port->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Instrument, InstrumentFaults,
    ::testing::Values(
        InstrumentRow{"Normal", {}, Shown::Values, Shown::Values},
        InstrumentRow{"Silent", {"--mode", "silent"}, Shown::NoData, Shown::NoData},
        InstrumentRow{"EndlessAnswer", {"--mode", "endless", "--no-pacing"}, Shown::NoData, Shown::NoData},
        InstrumentRow{"HangUpMidAnswer", {"--mode", "hangup"}, Shown::NoData, Shown::Values},
        InstrumentRow{"ModbusRtu", {}, Shown::Values, Shown::Values, EightRegisters}),
    RowName);

// The simulator never takes a real line's link: it refuses, naming the link
// and its target; forced, it puts the link back when it ends.
TEST_F(AppFolderTest, TheSimulatorLeavesARealLinesLinkAlone) {
    REQUIRE_INSTRUMENT();
    const QString link = state.AppFolder + "/ports/COM1", real = "/dev/serial/by-id/usb-adapter-port0";
    ASSERT_TRUE(QDir().mkpath(state.AppFolder + "/ports") && QFile::link(real, link));
    const QStringList arguments{"--folder", state.AppFolder, "--line", "1"};
    QProcess instrument;
    instrument.start(InstrumentProgram, arguments);
    ASSERT_TRUE(instrument.waitForFinished(10000));
    EXPECT_EQ(instrument.exitCode(), 1);
    EXPECT_TRUE(instrument.readAllStandardError().contains((link + " is a link to " + real).toUtf8()));

    instrument.start(InstrumentProgram, arguments + QStringList{"--force"});
    EXPECT_TRUE(WaitUntil([&] { return QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"); }));
    instrument.terminate();
    ASSERT_TRUE(instrument.waitForFinished(10000));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
}

// A program that closes the line and opens it again at once may send its
// select byte before the simulator has acted on the hang-up: the byte is
// still answered. A full pipe for its notes holds the simulator there (it
// notes the hang-up first).
TEST_F(AppFolderTest, TheSimulatorAnswersAReopeningItHasNotSeenYet) {
    REQUIRE_INSTRUMENT();
    const QByteArray notes = QFile::encodeName(state.AppFolder + "/notes");
    ASSERT_EQ(::mkfifo(notes.constData(), 0600), 0);
    const int reader = ::open(notes.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int filler = ::open(notes.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    while (::write(filler, "........", 8) == 8) {
    }
    ::close(filler);
    QProcess instrument;
    instrument.setStandardErrorFile(QFile::decodeName(notes));
    instrument.start(InstrumentProgram, {"--folder", state.AppFolder, "--verbose"});
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(state.AppFolder + "/ports/COM1"); }));
    DeviceSerialPortService port(state.AppFolder);
    port.SelectPort(1);
    ASSERT_TRUE(port.Open());
    port.Close();
    const QString syscall = QStringLiteral("/proc/%1/syscall").arg(instrument.processId());
    ASSERT_TRUE(
        WaitUntil([&] { return ReadBytes(syscall).startsWith(QByteArray::number(SYS_write) + " 0x2 "); }));
    ASSERT_TRUE(port.Open());
    port.Write("\x80");
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (char bytes[4096]; ::read(reader, bytes, sizeof bytes) > 0;) {
            }
            return port.BytesWaiting() > 0;
        },
        3000));
    EXPECT_EQ(port.Read(1), "!");
    port.Close();
    instrument.terminate();
    instrument.waitForFinished(10000);
    ::close(reader);
}

} // namespace
