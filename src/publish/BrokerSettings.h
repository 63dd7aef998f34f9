#pragma once

#include <QString>

namespace tarvek {

// Where the broker is and who the publisher is to it, as publish.conf says:
// held once, by the configuration and by the link made from it.
struct BrokerSettings {
    QString host = QStringLiteral("localhost"); // empty: no broker, notifications only
    int port = 1883;
    bool tls = false;
    QString cafile, certfile, keyfile;
    QString username;
    QString clientId;
    int keepalive = 60;
};

} // namespace tarvek
