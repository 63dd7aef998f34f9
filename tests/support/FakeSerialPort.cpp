#include "FakeSerialPort.h"

void FakeSerialPort::Close() {
    log_ << QStringLiteral("Close");
    open_ = false;
    waiting_.clear();
}

void FakeSerialPort::SelectPort(int n) {
    log_ << QStringLiteral("Select %1").arg(n);
    line_ = n;
}

bool FakeSerialPort::Open() {
    if (open_)
        return true;
    if (failOpen_) {
        log_ << QStringLiteral("Open failed");
        errorText_ = openFailure_;
        return false;
    }
    log_ << QStringLiteral("Open");
    errorText_.clear();
    open_ = true;
    ++opens_;
    waiting_.clear();
    return true;
}

qint64 FakeSerialPort::Write(const QByteArray& bytes) {
    if (!open_)
        return -1;
    log_ << QStringLiteral("Write ") + QString::fromLatin1(bytes.toHex());
    writes_ << bytes;
    return bytes.size();
}

QByteArray FakeSerialPort::Read(qint64 maxBytes) {
    if (!open_ || maxBytes <= 0)
        return {};
    const QByteArray taken = waiting_.left(maxBytes);
    waiting_.remove(0, taken.size());
    log_ << QStringLiteral("Read %1").arg(taken.size());
    return taken;
}

void FakeSerialPort::Discard() {
    log_ << QStringLiteral("Discard %1").arg(waiting_.size());
    waiting_.clear();
}

void FakeSerialPort::SetOpenFailure(bool fail, const QString& reason) {
    failOpen_ = fail;
    openFailure_ = reason;
}

void FakeSerialPort::InjectBytes(const QByteArray& bytes) {
    if (!open_)
        return;
    waiting_ += bytes;
    emit BytesArrived();
}

void FakeSerialPort::InjectFailure(const QString& reason) {
    log_ << QStringLiteral("Failure");
    open_ = false;
    waiting_.clear();
    emit PortFailed(reason);
}

void FakeSerialPort::ClearRecords() {
    writes_.clear();
    log_.clear();
}
