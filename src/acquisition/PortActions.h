#pragma once

#include <QByteArray>

namespace tarvek {

// What an exchange's rules ask of the port after each step; the poll carries
// them out in field order.
struct PortActions {
    bool discardWaiting = false; // drop the bytes waiting in the port
    QByteArray write;            // then write these bytes (empty: none)
    int timeoutMs = -1;          // then, when >= 0, restart the time-out with this interval
    bool closePort = false;      // then close the port
    bool finished = false;       // the exchange is over: its results are final
};

} // namespace tarvek
