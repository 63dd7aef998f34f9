#include "acquisition/DeviceSerialPortService.h"

#include "acquisition/PortName.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tarvek {

namespace {

// A notifier is never deleted from inside its own signal.
void Retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (notifier) {
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
}

speed_t SpeedOf(int bitRate) {
    static constexpr std::pair<int, speed_t> speeds[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                                         {9600, B9600},   {19200, B19200},  {38400, B38400},
                                                         {57600, B57600}, {115200, B115200}};
    for (const auto& [rate, speed] : speeds)
        if (rate == bitRate)
            return speed;
    return B0;
}

// Raw, 8 data bits at the selected rate, parity and stop bits: no echo, no
// line editing, no character translation (a carriage return arrives as it
// is), no software or hardware flow control. False with errno set when the
// line refuses them.
bool SetLine(int fd, const LineSettings& line) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (line.parity != Parity::None)
        t.c_cflag |= PARENB | (line.parity == Parity::Odd ? PARODD : 0);
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = SpeedOf(line.bitRate);
    if (speed == B0) {
        errno = EINVAL;
        return false;
    }
    return ::cfsetispeed(&t, speed) == 0 && ::cfsetospeed(&t, speed) == 0 &&
           ::tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

DeviceSerialPortService::DeviceSerialPortService(QString appFolder, QObject* parent)
    : SerialPortService(parent), appFolder_(std::move(appFolder)) {}

DeviceSerialPortService::~DeviceSerialPortService() {
    Close();
}

void DeviceSerialPortService::Close() {
    if (fd_ < 0)
        return;
    // Hand what is still queued to the driver first: a command written just
    // before the close must still leave (the driver sends its own queue
    // before the device is released). A failure has closed the port already.
    if (!SendPending())
        return;
    Retire(reader_);
    Retire(writer_);
    // The line as it was found: its settings once what was queued has left,
    // and shared again only if this open made it exclusive.
    ::tcsetattr(fd_, TCSADRAIN, &found_);
    if (madeExclusive_)
        ::ioctl(fd_, TIOCNXCL);
    ::close(std::exchange(fd_, -1)); // releases the flock too
    received_.clear();
    pending_.clear();
}

void DeviceSerialPortService::SelectPort(int n) {
    line_ = n;
}

bool DeviceSerialPortService::Open() {
    if (fd_ >= 0)
        return true;
    errorText_.clear();
    device_ = PortNameFor(line_, appFolder_);
    if (device_.isEmpty()) {
        errorText_ = QStringLiteral("COM%1: no such serial line").arg(line_);
        return false;
    }
    if (const QString reason = OpenDevice(); !reason.isEmpty()) {
        errorText_ = QStringLiteral("%1: %2").arg(device_, reason);
        return false;
    }
    reader_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(reader_.get(), &QSocketNotifier::activated, this, &DeviceSerialPortService::ReadReady);
    return true;
}

// Opens device_ into fd_; the reason when it cannot.
QString DeviceSerialPortService::OpenDevice() {
    const int fd = ::open(QFile::encodeName(device_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno); // missing, no permission, busy (held exclusively)
    // Exclusive for other users at the device, and for everyone (root, a
    // second opening by the same user) through the lock on it. A line already
    // exclusive is another holder's to release.
    int exclusive = 0;
    const bool makeExclusive = ::ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0;
    termios found{};
    int error = 0;
    if (makeExclusive && ::ioctl(fd, TIOCEXCL) != 0)
        error = errno;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (::tcgetattr(fd, &found) != 0)
        error = errno;
    else if (!SetLine(fd, SelectedLineSettings()) ||
             ::tcflush(fd, TCIFLUSH) != 0) // what came while closed is stale
        error = errno;
    if (error != 0) {
        if (makeExclusive)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return qt_error_string(error);
    }
    found_ = found;
    madeExclusive_ = makeExclusive;
    fd_ = fd;
    return {};
}

qint64 DeviceSerialPortService::Write(const QByteArray& bytes) {
    if (fd_ < 0)
        return -1;
    // Passed on to the driver now, so the bytes leave at once; what the
    // driver cannot take yet follows when it can.
    pending_ += bytes;
    if (!SendPending())
        return bytes.size(); // the failure is reported from the event loop
    if (!pending_.isEmpty() && !writer_) {
        writer_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
        connect(writer_.get(), &QSocketNotifier::activated, this, &DeviceSerialPortService::WriteReady);
    }
    return bytes.size();
}

// Writes as much of pending_ as the driver takes; false after a failure,
// which has closed the port.
bool DeviceSerialPortService::SendPending() {
    while (!pending_.isEmpty()) {
        const ssize_t n = ::write(fd_, pending_.constData(), size_t(pending_.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0) {
            Fail(n < 0 ? errno : EIO);
            return false;
        }
        pending_.remove(0, n);
    }
    return true;
}

void DeviceSerialPortService::WriteReady() {
    if (SendPending() && pending_.isEmpty())
        Retire(writer_);
}

void DeviceSerialPortService::ReadReady() {
    const qint64 room = ReceiveBufferSize - received_.size();
    if (room <= 0) {
        // The buffer is full: the line keeps the rest until some is read.
        reader_->setEnabled(false);
        return;
    }
    QByteArray bytes(room, Qt::Uninitialized);
    const ssize_t n = ::read(fd_, bytes.data(), size_t(room));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        Fail(n < 0 ? errno : EIO); // a hang-up reads as the end of the input
        return;
    }
    received_.append(bytes.constData(), n);
    emit BytesArrived();
}

QByteArray DeviceSerialPortService::Read(qint64 maxBytes) {
    if (fd_ < 0 || maxBytes <= 0)
        return {};
    const QByteArray taken = received_.left(maxBytes);
    received_.remove(0, taken.size());
    if (reader_ && !taken.isEmpty())
        reader_->setEnabled(true);
    return taken;
}

void DeviceSerialPortService::Discard() {
    if (fd_ < 0)
        return;
    received_.clear();
    ::tcflush(fd_, TCIFLUSH);
    if (reader_)
        reader_->setEnabled(true);
}

void DeviceSerialPortService::Fail(int error) {
    const QString reason = QStringLiteral("%1: %2").arg(device_, qt_error_string(error));
    pending_.clear(); // nothing more can leave
    Close();
    // Reported from the event loop, never from inside the operation that
    // found the error.
    QMetaObject::invokeMethod(
        this, [this, reason] { emit PortFailed(reason); }, Qt::QueuedConnection);
}

} // namespace tarvek
