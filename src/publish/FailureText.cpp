#include "publish/FailureText.h"

namespace tarvek {

QString FailureText(MqttLink::Failure failure, const QString& broker, const QString& user,
                    const QString& reason) {
    const bool refused = failure == MqttLink::Failure::NotAuthorised;
    const QString again =
        refused
            ? QStringLiteral("trying again every %1 s").arg(BackoffMaxSeconds)
            : QStringLiteral("trying again after 1 s, then waits doubling up to %1 s").arg(BackoffMaxSeconds);
    QString text;
    switch (failure) {
    case MqttLink::Failure::Unreachable:
        text = QStringLiteral("cannot reach the broker %1 (%2); %3").arg(broker, reason, again);
        break;
    case MqttLink::Failure::NotAuthorised:
        text = QStringLiteral("not authorised: the broker %1 refuses the user \"%2\" (%3); %4")
                   .arg(broker, user, reason, again);
        break;
    case MqttLink::Failure::Tls:
        text = QStringLiteral("TLS with the broker %1 failed (%2); no connection without TLS is tried; %3")
                   .arg(broker, reason, again);
        break;
    case MqttLink::Failure::Refused:
        text = QStringLiteral("the broker %1 refused the connection (%2); %3").arg(broker, reason, again);
        break;
    case MqttLink::Failure::Lost:
        text = QStringLiteral("lost the broker %1 (%2); %3").arg(broker, reason, again);
        break;
    }
    return text;
}

QString TakeoverText(const QString& broker, const QString& clientId, int waitSeconds) {
    return QStringLiteral("sessions with the broker %1 end within seconds of their start while it still "
                          "answers: another client may be using the client id \"%2\" (client_id in the "
                          "configuration); trying again after up to %3 s while it lasts")
        .arg(broker, clientId)
        .arg(waitSeconds);
}

} // namespace tarvek
