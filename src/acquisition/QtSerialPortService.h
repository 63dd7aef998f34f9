#pragma once

#include "acquisition/SerialPortService.h"

#include <QSerialPort>

namespace tarvek {

// The serial port on QSerialPort: 2400 bit/s, 8 data bits, no parity, one
// stop bit, no flow control, a receive buffer of 1024 bytes. Line n is found
// by PortNameFor(n, appFolder).
//
// Input that reached the line while the port was closed is dropped at Open,
// so every open starts with an empty receive buffer. Any error of the open
// port (hang-up, device removed, read or write failure) closes it at once
// and is reported by PortFailed: a vanished device otherwise keeps raising
// errors as fast as the event loop turns.
class QtSerialPortService : public SerialPortService {
    Q_OBJECT
  public:
    static constexpr qint32 BitRate = 2400;
    static constexpr qint64 ReceiveBufferSize = 1024;

    explicit QtSerialPortService(QString appFolder, QObject* parent = nullptr);
    ~QtSerialPortService() override;

    bool IsOpen() const override;
    void Close() override;
    void SelectPort(int n) override;
    bool Open() override;
    QString ErrorText() const override { return errorText_; }
    qint64 Write(const QByteArray& bytes) override;
    qint64 BytesWaiting() const override;
    QByteArray Read(qint64 maxBytes) override;
    void Discard() override;

    // The device name the last Open used.
    QString DeviceName() const { return device_; }

  private:
    void OnError(QSerialPort::SerialPortError error);

    QString appFolder_;
    QSerialPort port_;
    int line_ = 0;
    QString device_;
    QString errorText_;
    bool opening_ = false;
};

} // namespace tarvek
