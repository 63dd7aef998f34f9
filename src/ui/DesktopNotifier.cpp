#include "ui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <cstdio>

namespace tarvek {

namespace {

// A notice the service has not taken by then is given up, not waited for.
constexpr int CallTimeoutMs = 10000;

} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

void DesktopNotifier::Fail(const QString& reason) {
    if (told_)
        return;
    told_ = true;
    std::fprintf(stderr, "tarvek: no desktop notification of alarms: %s\n", qPrintable(reason));
}

void DesktopNotifier::Notify(const AlarmNotice& notice) {
    if (!bus_.isConnected()) {
        Fail(bus_.lastError().message().isEmpty() ? QStringLiteral("no session bus")
                                                  : bus_.lastError().message());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
    call << QStringLiteral("TARVEK") << 0u << QStringLiteral("dialog-warning") << notice.summary
         << notice.body << QStringList() << QVariantMap() << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        if (done->isError())
            Fail(done->error().name() + QStringLiteral(": ") + done->error().message());
        done->deleteLater();
    });
}

} // namespace tarvek
