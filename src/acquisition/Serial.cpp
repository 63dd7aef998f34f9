#include "acquisition/Serial.h"

#include "acquisition/InstrumentPoll.h"

#include <QMessageBox>

bool OpenSerialLine(Declarations& d, SerialPortService& port, QWidget* messageParent) {
    if (port.IsOpen())
        port.Close();
    port.SelectPort(d.SerialLine);
    if (!port.IsOpen() && !port.Open()) {
        ShowSerialLineError(messageParent);
        return false;
    }
    return true;
}

void CloseSerialLine(SerialPortService& port, const InstrumentPoll* poll) {
    if (poll != nullptr && poll->IsRunning())
        return;
    if (port.IsOpen())
        port.Close();
}

void ShowSerialLineError(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, SerialLineErrorTitle, SerialLineErrorText, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
