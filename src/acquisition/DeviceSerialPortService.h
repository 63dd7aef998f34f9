#pragma once

#include "acquisition/InstrumentExchange.h"
#include "acquisition/SerialPortService.h"

#include <QSocketNotifier>

#include <memory>

#include <termios.h>

namespace tarvek {

// The serial port on the terminal device itself: 8 data bits at the selected
// bit rate, parity and stop bits (2400 bit/s 8N1 unless another is selected),
// no flow control, raw, a receive buffer of 1024 bytes,
// the Qt event loop watching the descriptor. Line n is found by
// PortNameFor(n, appFolder).
//
// The line is held exclusively without a lock file: a lock file would have to
// live in a folder every user may write, where anyone could block the line for
// good. A second opening of the same line is refused as busy (TIOCEXCL for
// other users, flock on the device for everyone, root included). Close leaves
// the line as Open found it: its settings restored, exclusive only if it was.
//
// Input that reached the line while the port was closed is dropped at Open,
// so every open starts with an empty receive buffer. Any error of the open
// port (hang-up, device removed, read or write failure) closes it at once
// and is reported by PortFailed: a vanished device otherwise keeps raising
// errors as fast as the event loop turns.
class DeviceSerialPortService : public SerialPortService {
    Q_OBJECT
  public:
    // No sound answer is longer than what this buffer holds.
    static constexpr qint64 ReceiveBufferSize = InstrumentExchange::ReplyLimit;

    explicit DeviceSerialPortService(QString appFolder, QObject* parent = nullptr);
    ~DeviceSerialPortService() override;

    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;
    void SelectPort(int n) override;
    bool Open() override;
    QString ErrorText() const override { return errorText_; }
    qint64 Write(const QByteArray& bytes) override;
    qint64 BytesWaiting() const override { return received_.size(); }
    QByteArray Read(qint64 maxBytes) override;
    void Discard() override;

    // The device name the last Open used.
    QString DeviceName() const { return device_; }

  private:
    QString OpenDevice();
    void ReadReady();
    void WriteReady();
    bool SendPending();
    void Fail(int error);

    QString appFolder_;
    int line_ = 0;
    QString device_;
    QString errorText_;
    int fd_ = -1;
    termios found_{};            // the line's settings before Open set them
    bool madeExclusive_ = false; // TIOCEXCL set by Open, to be undone by Close
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    QByteArray received_;
    QByteArray pending_; // written but not yet taken by the driver
};

} // namespace tarvek
