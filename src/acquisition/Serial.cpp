#include "acquisition/Serial.h"

#include <cstdio>

namespace tarvek {

bool OpenSerialLine(int serialLine, SerialPortService& port) {
    port.Close();
    port.SelectPort(serialLine);
    if (port.Open())
        return true;
    std::fprintf(stderr, "tarvek: serial line %d is not available: %s\n", serialLine,
                 qPrintable(port.ErrorText()));
    return false;
}

void CloseSerialLine(SerialPortService& port, bool pollRunning) {
    if (!pollRunning)
        port.Close();
}

} // namespace tarvek
