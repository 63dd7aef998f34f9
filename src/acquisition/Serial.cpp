#include "acquisition/Serial.h"

bool OpenSerialLine(int serialLine, SerialPortService& port) {
    port.Close();
    port.SelectPort(serialLine);
    return port.Open();
}

void CloseSerialLine(SerialPortService& port, bool pollRunning) {
    if (!pollRunning)
        port.Close();
}
