// The serial line: which device "COM n" is, and the port service on a pseudo-terminal.
#include "acquisition/DeviceSerialPortService.h"
#include "acquisition/PortName.h"
#include "acquisition/Serial.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace tarvek;

// The port service on line 2, a pseudo-terminal whose other end the test holds.
class PortService : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0);
        device_ = QString::fromLocal8Bit(ptsname(master_));
        ASSERT_TRUE(QDir().mkpath(state.AppFolder + "/ports") &&
                    QFile::link(device_, state.AppFolder + "/ports/COM2"));
        port = std::make_unique<DeviceSerialPortService>(state.AppFolder);
        QObject::connect(port.get(), &SerialPortService::PortFailed, [this] { ++failures_; });
        port->SelectPort(2);
    }
    void TearDown() override { port.reset(), CloseMaster(); }
    void CloseMaster() { ::close(std::exchange(master_, -1)); }
    int Exclusive() const {
        int exclusive = -1, fd = ::open(qPrintable(device_), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::ioctl(fd, TIOCGEXCL, &exclusive);
        ::close(fd);
        return exclusive;
    }

    int master_ = -1, failures_ = 0;
    QString device_;
    std::unique_ptr<DeviceSerialPortService> port;
};

// Opened at 2400 bit/s 8N1, or from the next open on at the framing selected (a pseudo-terminal keeps which
// parity, not whether); input that came while closed is dropped; a command that expects no answer, written
// just before the close, still leaves (a second opening keeps the line up for the reader); a hang-up closes
// the port, reported once.
TEST_F(PortService, OpensAtItsFramingDropsStaleInputSendsTheLastCommandAndReportsAHangUpOnce) {
    ASSERT_TRUE(port->Open()) << port->ErrorText().toStdString();
    EXPECT_EQ(port->DeviceName(), device_);
    termios t{};
    tcgetattr(master_, &t);
    EXPECT_EQ(std::make_pair(cfgetospeed(&t), cfgetispeed(&t)),
              std::make_pair(speed_t(B2400), speed_t(B2400)));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0)) << "a carriage return arrives as it is";
    port->Close();
    ASSERT_EQ(::write(master_, "\n+0012345\r", 10), 10);
    port->SelectLineSettings({19200, Parity::Odd, 2});
    ASSERT_TRUE(port->Open());
    tcgetattr(master_, &t);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARODD | CSTOPB), tcflag_t(CS8 | PARODD | CSTOPB));
    ASSERT_EQ(::write(master_, "!", 1), 1);
    ASSERT_TRUE(WaitUntil([&] { return port->BytesWaiting() >= 1; }));
    RunEventsFor(20);
    EXPECT_EQ(port->Read(100), "!");
    EXPECT_TRUE(port->Open() && port->IsOpen()) << "opening an open port keeps it";

    // More than the driver takes at once leaves whole, the rest as it can;
    // then a command written just before the close.
    QByteArray sent;
    const auto arrived = [&](const QByteArray& end) {
        return WaitUntil([&] {
            char bytes[1 << 16];
            for (ssize_t n; (n = ::read(master_, bytes, sizeof bytes)) > 0;)
                sent.append(bytes, n);
            return sent.endsWith(end);
        });
    };
    const QByteArray many(1 << 18, 'x');
    EXPECT_TRUE(port->Write(many) == many.size() && arrived(many)) << sent.size();
    const int slave = ::open(qPrintable(device_), O_RDWR | O_NOCTTY);
    port->Write("K\r");
    port->Close();
    ASSERT_TRUE(arrived("K\r")) << sent.toStdString(); // after the echo of what came while closed, if any
    ::close(slave);

    ASSERT_TRUE(port->Open());
    CloseMaster();
    ASSERT_TRUE(WaitUntil([&] { return failures_ > 0; }));
    EXPECT_FALSE(port->IsOpen());
    RunEventsFor(100);
    EXPECT_EQ(failures_, 1);
}

// The line is held without a lock file: a second opening is refused as busy (root included, who passes
// TIOCEXCL), and a lock file anyone may plant in the world-writable lock folder blocks nothing. Close leaves
// the line as it was found: a terminal's settings, and a line another program holds with a lock only not left
// exclusive to anyone.
TEST_F(PortService, TheLineIsHeldWithoutALockFileAndLeftAsFound) {
    const int slave = ::open(qPrintable(device_), O_RDWR | O_NOCTTY);
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    before.c_lflag |= ICANON | ECHO;
    ASSERT_TRUE(cfsetspeed(&before, B9600) == 0 && tcsetattr(slave, TCSANOW, &before) == 0);
    ASSERT_TRUE(port->Open());
    DeviceSerialPortService second(state.AppFolder);
    second.SelectPort(2);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.ErrorText(), device_ + ": Device or resource busy");
    EXPECT_EQ(Exclusive(), 1) << "the first opening's claim stands";
    port->Close();
    tcgetattr(slave, &after);
    EXPECT_EQ(std::make_tuple(cfgetospeed(&after), after.c_lflag, after.c_iflag, after.c_cflag),
              std::make_tuple(speed_t(B9600), before.c_lflag, before.c_iflag, before.c_cflag));
    EXPECT_EQ(Exclusive(), 0);

    const QString lock = "/var/lock/LCK.." + device_.mid(5).replace('/', '_');
    WriteBytes(lock, "         1\nsystemd\nhost\n"); // held by a process that never ends
    const bool opened = second.Open();
    QFile::remove(lock);
    EXPECT_TRUE(opened) << second.ErrorText().toStdString();
    second.Close();

    ASSERT_EQ(flock(slave, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(Exclusive(), 0);
    ::close(slave);
}

// "COM n" is the device its link in the ports folder leads to (a link to a device that is gone names that
// device, never another line), else /dev/ttyS<n-1>. Why a line cannot be opened reaches stderr with the
// device: one that is gone, one the operator may not use (root may use any: the child drops to nobody).
TEST_F(PortService, PortsFolderLinksNameTheDeviceAndAFailedOpenSaysWhyOnStderr) {
    const QString dir = state.AppFolder, byId = dir + "/dev/serial/by-id/";
    WriteBytes(dir + "/dev/ttyUSB0", ""); // like /dev/serial/by-id/usb-...-port0 -> ../../ttyUSB0
    ASSERT_TRUE(QDir().mkpath(byId) && QFile::link("../../ttyUSB0", byId + "usb-adapter-port0") &&
                QFile::link(byId + "usb-adapter-port0", dir + "/ports/COM3") &&
                QFile::link(dir + "/gone", dir + "/ports/COM1"));
    EXPECT_EQ(PortNameFor(3, dir), QFileInfo(dir + "/dev/ttyUSB0").canonicalFilePath());
    EXPECT_EQ(PortNameFor(1, dir), dir + "/gone");
    EXPECT_EQ(PortNameFor(8, dir), "/dev/ttyS7");
    EXPECT_EQ(PortNameFor(0, dir), "");
    EXPECT_EXIT(std::_Exit(OpenSerialLine(1, *port) ? 1 : 0), ::testing::ExitedWithCode(0),
                "serial line 1 is not available: .*/gone: No such file or directory");
    ASSERT_EQ(chmod(qPrintable(device_), 0600), 0);
    ASSERT_EQ(chmod(qPrintable(state.AppFolder), 0711), 0); // the link stays visible to nobody
    EXPECT_EXIT(
        {
            DropToNobody();
            std::_Exit(OpenSerialLine(2, *port) ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "serial line 2 is not available: /dev/pts/[0-9]+: Permission denied");
}
