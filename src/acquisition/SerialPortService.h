#pragma once

#include "config/InstrumentLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tarvek {

// The program's one serial port, as the acquisition code sees it: select a
// line number and its framing, open, close, write, read and discard received
// bytes.
//
// Signals never come from inside one of the operations below; they arrive
// from the event loop, so a handler may call any operation.
class SerialPortService : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~SerialPortService() override = default;

    virtual bool IsOpen() const = 0;
    // Releases the port; bytes still waiting are dropped. Harmless when closed.
    virtual void Close() = 0;
    // Line n of "COM n"; applies to the next Open.
    virtual void SelectPort(int n) = 0;
    // The bit rate, parity and stop bits; apply to the next Open.
    void SelectLineSettings(const LineSettings& settings) { settings_ = settings; }
    const LineSettings& SelectedLineSettings() const { return settings_; }
    // Opens the selected line (true when it is open afterwards). On failure
    // ErrorText() says why: the line does not exist, is in use, ...
    virtual bool Open() = 0;
    virtual QString ErrorText() const = 0;
    // Sends the bytes in order; returns how many were accepted, -1 when closed.
    virtual qint64 Write(const QByteArray& bytes) = 0;
    // Received bytes not yet read.
    virtual qint64 BytesWaiting() const = 0;
    // Takes at most `maxBytes` of the waiting bytes, oldest first.
    virtual QByteArray Read(qint64 maxBytes) = 0;
    // Drops every received byte not yet read.
    virtual void Discard() = 0;

  signals:
    // New bytes are waiting.
    void BytesArrived();
    // The open port failed (device gone, hang-up, read or write error). The
    // port is already closed when this arrives.
    void PortFailed(const QString& reason);

  private:
    LineSettings settings_;
};

} // namespace tarvek
