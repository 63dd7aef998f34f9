#include "acquisition/ModbusPoll.h"

#include <cstdio>

namespace tarvek {

bool ModbusPoll::Start(const ModbusPollRequest& request) {
    if (!Begin(request.serialLine))
        return false;
    port_.SelectLineSettings(request.timing.line);
    const ModbusExchange::Actions first = exchange_.Start(request.sources, request.timing);
    if (!port_.Open()) {
        exchange_.PortFailed(); // said once by the notes, not at every poll
        Conclude();             // Finished follows from the event loop
        return true;
    }
    Carry(first);
    return true;
}

void ModbusPoll::Conclude() {
    for (const QString& note : notes_.Follow(exchange_.Outcomes()))
        std::fprintf(stderr, "tarvek: %s\n", qPrintable(note));
    const ModbusPollResult result{exchange_.Readings(), exchange_.Answered()};
    End([this, result] { emit Finished(result); });
}

} // namespace tarvek
