#pragma once

#include "acquisition/SerialPortService.h"

#include <QStringList>

// A serial port for tests: records every operation and every write, lets the
// test put received bytes into the port or make it fail, and can be told to
// refuse to open. The Inject* calls signal at once: call them from the test
// (or a timer), as the event loop would, never from inside an operation.
class FakeSerialPort final : public SerialPortService {
    Q_OBJECT
  public:
    using SerialPortService::SerialPortService;

    bool IsOpen() const override { return open_; }
    void Close() override;
    void SelectPort(int n) override;
    int SelectedPort() const override { return line_; }
    bool Open() override;
    QString ErrorText() const override { return errorText_; }
    qint64 Write(const QByteArray& bytes) override;
    qint64 BytesWaiting() const override { return open_ ? waiting_.size() : 0; }
    QByteArray Read(qint64 maxBytes) override;
    void Discard() override;

    // Open() fails with `reason` while set.
    void SetOpenFailure(bool fail, const QString& reason = QStringLiteral("COM: no such serial line"));

    // Bytes received by the port (ignored while closed); BytesArrived follows.
    void InjectBytes(const QByteArray& bytes);
    // The port fails: it closes, then PortFailed follows.
    void InjectFailure(const QString& reason = QStringLiteral("hang-up"));

    // Everything written while open, one entry per Write.
    const QList<QByteArray>& Writes() const { return writes_; }
    QByteArray Written() const { return writes_.join(); }
    // The operations in order: "Close", "Select 3", "Open", "Open failed",
    // "Write <hex>", "Discard 2" (bytes dropped), "Read 1".
    const QStringList& Log() const { return log_; }
    int OpenCount() const { return opens_; }
    void ClearRecords();

  private:
    bool open_ = false;
    int line_ = 0;
    int opens_ = 0;
    bool failOpen_ = false;
    QString openFailure_;
    QString errorText_;
    QByteArray waiting_;
    QList<QByteArray> writes_;
    QStringList log_;
};
