#pragma once

#include "publish/MqttLink.h"

namespace tarvek {

// The longest wait between attempts to reach the broker, in seconds.
inline constexpr int BackoffMaxSeconds = 60;

// What is said when a session with `broker` fails, with how it is tried
// again: 1 s, doubling up to a minute; a refused user only every minute.
QString FailureText(MqttLink::Failure failure, const QString& broker, const QString& user,
                    const QString& reason);

// What is said once while sessions with `broker` are taken over one after
// another, waiting up to `waitSeconds` between attempts.
QString TakeoverText(const QString& broker, const QString& clientId, int waitSeconds);

} // namespace tarvek
