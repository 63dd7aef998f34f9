#pragma once

#include "acquisition/SerialPortService.h"
#include "app/Declarations.h"

#include <QString>

class InstrumentPoll;
class QWidget;

inline const QString SerialLineErrorText = QStringLiteral(" ATTENTION: This serial line is not available   ");
inline const QString SerialLineErrorTitle = QStringLiteral(" Error ");

// Opens line SerialLine for the Start command: closes the port if open,
// selects the line, opens it. When it cannot be opened, shows the message of
// ShowSerialLineError (over `messageParent`) once and returns false; the
// caller may go on either way.
bool OpenSerialLine(Declarations& d, SerialPortService& port, QWidget* messageParent);

// Closes the port for the stop path; harmless when it is closed. While
// `poll` is running the port is its own and is left alone (the poll closes it
// when it ends).
void CloseSerialLine(SerialPortService& port, const InstrumentPoll* poll = nullptr);

// The modal warning that the serial line is not available, with one OK
// button; returns once it has been closed.
void ShowSerialLineError(QWidget* parent);
