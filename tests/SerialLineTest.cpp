// The serial line: which device "COM n" is, the Start command's open with its
// message, the stop path's close, and the port service on a pseudo-terminal.
#include "acquisition/FakeSerialPort.h"
#include "acquisition/InstrumentPoll.h"
#include "acquisition/PortName.h"
#include "acquisition/QtSerialPortService.h"
#include "acquisition/Serial.h"

#include "AcquisitionSupport.h"
#include "TestSupport.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN

class PortNames : public AppFolderTest {
  protected:
    QString Ports() {
        QDir().mkpath(d.AppFolder + "/ports");
        return d.AppFolder + "/ports/";
    }
};

TEST_F(PortNames, WithoutALinkLineNIsTtySNMinus1) {
    EXPECT_EQ(PortNameFor(1, d.AppFolder), "/dev/ttyS0");
    EXPECT_EQ(PortNameFor(8, d.AppFolder), "/dev/ttyS7");
    Ports();
    EXPECT_EQ(PortNameFor(2, d.AppFolder), "/dev/ttyS1");
}

TEST_F(PortNames, LinkIsFollowedToTheDevice) {
    // Like /dev/serial/by-id/usb-...-port0 -> ../../ttyUSB0.
    const QString device = d.AppFolder + "/dev/ttyUSB0";
    WriteBytes(device, "");
    QDir().mkpath(d.AppFolder + "/dev/serial/by-id");
    ASSERT_TRUE(QFile::link("../../ttyUSB0", d.AppFolder + "/dev/serial/by-id/usb-adapter-port0"));
    ASSERT_TRUE(QFile::link(d.AppFolder + "/dev/serial/by-id/usb-adapter-port0", Ports() + "COM3"));
    EXPECT_EQ(PortNameFor(3, d.AppFolder), QFileInfo(device).canonicalFilePath());
    EXPECT_EQ(PortNameFor(4, d.AppFolder), "/dev/ttyS3");
}

TEST_F(PortNames, DanglingLinkNamesItsMissingTargetRatherThanAnotherLine) {
    ASSERT_TRUE(QFile::link("/dev/serial/by-id/unplugged-adapter", Ports() + "COM1"));
    EXPECT_EQ(PortNameFor(1, d.AppFolder), "/dev/serial/by-id/unplugged-adapter");
}

TEST_F(PortNames, NoLineBelowOne) {
    EXPECT_EQ(PortNameFor(0, d.AppFolder), "");
    EXPECT_EQ(PortNameFor(-3, d.AppFolder), "");
}

#else

TEST(PortNames, ComN) {
    EXPECT_EQ(PortNameFor(1, "C:/tarvek"), "COM1");
    EXPECT_EQ(PortNameFor(8, "C:/tarvek"), "COM8");
}

#endif

class SerialLineCommands : public ::testing::Test {
  protected:
    Declarations d;
    FakeSerialPort port;
};

TEST_F(SerialLineCommands, OpenSelectsTheLineAndShowsNoMessage) {
    d.SerialLine = 4;
    MessageBoxCloser closer;
    EXPECT_TRUE(OpenSerialLine(d, port, nullptr));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Log(), (QStringList{"Select 4", "Open"}));

    d.SerialLine = 2; // a Start after a Load that changed the line
    EXPECT_TRUE(OpenSerialLine(d, port, nullptr));
    EXPECT_EQ(port.Log().mid(2), (QStringList{"Close", "Select 2", "Open"}));
    RunEventsFor(30);
    EXPECT_TRUE(closer.SeenBoxes().empty());
}

TEST_F(SerialLineCommands, MissingLineShowsTheWarningOnce) {
    d.SerialLine = 7;
    port.SetOpenFailure(true);
    QWidget window;
    MessageBoxCloser closer;
    EXPECT_FALSE(OpenSerialLine(d, port, &window));
    EXPECT_FALSE(port.IsOpen());
    ASSERT_EQ(closer.SeenBoxes().size(), 1u);
    const auto& box = closer.SeenBoxes().front();
    EXPECT_EQ(box.text, " ATTENTION: This serial line is not available   ");
    EXPECT_EQ(box.title, " Error ");
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(box.modal);
}

TEST_F(SerialLineCommands, CloseReleasesAnOpenPortOnly) {
    port.SelectPort(1);
    port.Open();
    port.ClearRecords();
    CloseSerialLine(port);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Log(), QStringList{"Close"});
    CloseSerialLine(port); // the last poll already closed it
    EXPECT_EQ(port.Log(), QStringList{"Close"});
}

TEST_F(SerialLineCommands, CloseLeavesThePortOfARunningPoll) {
    QTimer timer;
    timer.setInterval(2000);
    InstrumentPoll poll(d, port, timer);
    d.SerialLine = 1;
    d.SelectCode = 128;
    d.CommandText = "K";
    d.ReplyExpected = 1;
    ASSERT_TRUE(poll.Start());
    CloseSerialLine(port, &poll);
    EXPECT_TRUE(port.IsOpen());
    poll.Abort();
    CloseSerialLine(port, &poll);
    EXPECT_FALSE(port.IsOpen());
}

#ifdef Q_OS_UNIX

namespace {

// The instrument's end of a pseudo-terminal, linked as <folder>/ports/COM<n>.
class PtyEnd {
  public:
    PtyEnd(const QString& folder, int line) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        device_ = QString::fromLocal8Bit(ptsname(master_));
        QDir().mkpath(folder + "/ports");
        linked_ = QFile::link(device_, folder + QStringLiteral("/ports/COM%1").arg(line));
    }
    ~PtyEnd() { Close(); }
    bool Ready() const { return master_ >= 0 && linked_; }
    QString Device() const { return device_; }
    void Send(const QByteArray& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), bytes.size());
    }
    termios Settings() const {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }
    void Close() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    QString device_;
    bool linked_ = false;
};

} // namespace

class PortService : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        pty_ = std::make_unique<PtyEnd>(d.AppFolder, 2);
        ASSERT_TRUE(pty_->Ready());
        port_ = std::make_unique<QtSerialPortService>(d.AppFolder);
        QObject::connect(port_.get(), &SerialPortService::BytesArrived, [this] { ++arrivals_; });
        QObject::connect(port_.get(), &SerialPortService::PortFailed, [this](const QString& why) {
            ++failures_;
            reason_ = why;
        });
        port_->SelectPort(2);
    }

    std::unique_ptr<PtyEnd> pty_;
    std::unique_ptr<QtSerialPortService> port_;
    int arrivals_ = 0;
    int failures_ = 0;
    QString reason_;
};

TEST_F(PortService, OpensTheLinkedDeviceAt2400Bit8N1) {
    ASSERT_TRUE(port_->Open()) << port_->ErrorText().toStdString();
    EXPECT_TRUE(port_->IsOpen());
    EXPECT_EQ(port_->DeviceName(), pty_->Device());
    const termios t = pty_->Settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0)) << "a carriage return arrives as it is";
}

TEST_F(PortService, InputThatCameWhileClosedIsDroppedAtOpen) {
    ASSERT_TRUE(port_->Open());
    port_->Close();
    pty_->Send("\n+0012345\r");
    ASSERT_TRUE(port_->Open());
    pty_->Send("!");
    ASSERT_TRUE(WaitUntil([&] { return port_->BytesWaiting() >= 1; }));
    RunEventsFor(20);
    EXPECT_EQ(port_->Read(100), "!");
}

TEST_F(PortService, HangUpClosesThePortAndIsReportedOnce) {
    ASSERT_TRUE(port_->Open());
    pty_->Close();
    ASSERT_TRUE(WaitUntil([&] { return failures_ > 0; }));
    EXPECT_FALSE(port_->IsOpen());
    EXPECT_FALSE(reason_.isEmpty());
    RunEventsFor(100);
    EXPECT_EQ(failures_, 1);
    port_->Close(); // harmless
    EXPECT_FALSE(port_->Open()) << "the device is gone";
}

TEST_F(PortService, MissingLineFailsWithAReason) {
    port_->SelectPort(0);
    EXPECT_FALSE(port_->Open());
    EXPECT_FALSE(port_->ErrorText().isEmpty());
    port_->SelectPort(9);
    ASSERT_TRUE(QFile::link(d.AppFolder + "/unplugged", d.AppFolder + "/ports/COM9"));
    EXPECT_FALSE(port_->Open());
    EXPECT_TRUE(port_->ErrorText().contains("unplugged")) << port_->ErrorText().toStdString();
    EXPECT_EQ(failures_, 0) << "a failed open is reported by Open alone";
    EXPECT_EQ(port_->Write("x"), -1);
    EXPECT_EQ(port_->Read(1), QByteArray());
}

#endif
