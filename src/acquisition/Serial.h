#pragma once

#include "acquisition/SerialPortService.h"

#include <QString>

namespace tarvek {

// Opens line `serialLine` for the Start command: closes the port if open,
// selects the line, opens it. False when it cannot be opened; the port's
// ErrorText() then says which device and why, and stderr has it too.
bool OpenSerialLine(int serialLine, SerialPortService& port);

// Closes the port for the stop path; harmless when it is closed. While a poll
// is running the port is its own and is left alone (the poll closes it when
// it ends).
void CloseSerialLine(SerialPortService& port, bool pollRunning = false);

} // namespace tarvek
