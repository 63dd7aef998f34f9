#include "acquisition/QtSerialPortService.h"

#include "acquisition/PortName.h"

namespace tarvek {

QtSerialPortService::QtSerialPortService(QString appFolder, QObject* parent)
    : SerialPortService(parent), appFolder_(std::move(appFolder)) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPortService::BytesArrived);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPortService::OnError);
}

QtSerialPortService::~QtSerialPortService() {
    // No signal may reach a half-destroyed object.
    port_.disconnect(this);
    if (port_.isOpen())
        port_.close();
}

bool QtSerialPortService::IsOpen() const {
    return port_.isOpen();
}

void QtSerialPortService::Close() {
    if (!port_.isOpen())
        return;
    // Hand what is still queued to the operating system first: a command
    // written just before the close must still leave.
    port_.flush();
    port_.close();
}

void QtSerialPortService::SelectPort(int n) {
    line_ = n;
}

bool QtSerialPortService::Open() {
    if (port_.isOpen())
        return true;
    errorText_.clear();
    device_ = PortNameFor(line_, appFolder_);
    const QString& device = device_;
    if (device.isEmpty()) {
        errorText_ = QStringLiteral("COM%1: no such serial line").arg(line_);
        return false;
    }
    port_.setPortName(device);
    port_.setBaudRate(BitRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(ReceiveBufferSize);

    opening_ = true;
    const bool opened = port_.open(QIODevice::ReadWrite);
    if (opened)
        port_.clear(QSerialPort::Input); // what came while closed is stale
    opening_ = false;
    if (!opened) {
        errorText_ = QStringLiteral("%1: %2").arg(device, port_.errorString());
        port_.clearError();
    }
    return opened;
}

qint64 QtSerialPortService::Write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return -1;
    const qint64 written = port_.write(bytes);
    // QSerialPort only queues; pass the bytes on to the driver now, without
    // waiting, so they leave at once rather than at the next event loop turn.
    port_.flush();
    return written;
}

qint64 QtSerialPortService::BytesWaiting() const {
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

QByteArray QtSerialPortService::Read(qint64 maxBytes) {
    if (!port_.isOpen() || maxBytes <= 0)
        return {};
    return port_.read(maxBytes);
}

void QtSerialPortService::Discard() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtSerialPortService::OnError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || opening_)
        return;
    const QString reason = QStringLiteral("%1: %2").arg(device_, port_.errorString());
    port_.clearError();
    if (!port_.isOpen())
        return; // an operation on a closed port; nothing is lost
    port_.close();
    // Reported from the event loop, never from inside the operation that
    // found the error.
    QMetaObject::invokeMethod(
        this, [this, reason] { emit PortFailed(reason); }, Qt::QueuedConnection);
}

} // namespace tarvek
