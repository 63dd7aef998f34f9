#pragma once

#include "acquisition/SerialPortService.h"

namespace tarvek {

// A serial port for tests: keeps what was written, lets the test put received bytes into the port, and can be
// told to refuse to open. InjectBytes signals at once: call it from the test (or a timer), as the event loop
// would, never from inside an operation.
class FakeSerialPort final : public SerialPortService {
    Q_OBJECT
  public:
    using SerialPortService::SerialPortService;

    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    void SelectPort(int n) override { line_ = n; }
    bool Open() override {
        if (!open_ && openFailure_.isEmpty())
            open_ = true, ++opens_, waiting_.clear();
        return open_;
    }
    QString ErrorText() const override { return openFailure_; }
    qint64 Write(const QByteArray& bytes) override { return open_ ? (written_ += bytes, bytes.size()) : -1; }
    qint64 BytesWaiting() const override { return open_ ? waiting_.size() : 0; }
    QByteArray Read(qint64 maxBytes) override {
        return open_ ? std::exchange(waiting_, waiting_.mid(maxBytes)).left(maxBytes) : QByteArray();
    }
    void Discard() override { waiting_.clear(); }

    // Open() fails with `reason` while it is not empty.
    void FailOpen(const QString& reason) { openFailure_ = reason; }
    // Bytes received by the port (ignored while closed); BytesArrived follows.
    void InjectBytes(const QByteArray& bytes) {
        if (open_)
            waiting_ += bytes, emit BytesArrived();
    }
    // Everything written while open, in order.
    const QByteArray& Written() const { return written_; }
    int SelectedPort() const { return line_; }
    int OpenCount() const { return opens_; }

  private:
    bool open_ = false;
    int line_ = 0, opens_ = 0;
    QString openFailure_;
    QByteArray written_, waiting_;
};

} // namespace tarvek
