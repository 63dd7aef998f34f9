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
    // A server that reads markup in the body is asked first, so that a "<" in a
    // unit or a failure text is shown, not taken for a tag.
    Call(QStringLiteral("GetCapabilities"), {}, [this, notice](const QDBusMessage& reply) {
        const bool markup = reply.arguments().value(0).toStringList().contains(QStringLiteral("body-markup"));
        // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the server's)
        Call(QStringLiteral("Notify"),
             {QStringLiteral("TARVEK"), 0u, QStringLiteral("dialog-warning"), notice.summary,
              markup ? BodyMarkup(notice.body) : notice.body, QStringList(), QVariantMap(), -1},
             [](const QDBusMessage&) {});
    });
}

void DesktopNotifier::Call(const QString& method, const QVariantList& arguments,
                           std::function<void(const QDBusMessage&)> then) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then = std::move(then)](QDBusPendingCallWatcher* done) {
                if (done->isError())
                    Fail(done->error().name() + QStringLiteral(": ") + done->error().message());
                else
                    then(done->reply());
                done->deleteLater();
            });
}

QString BodyMarkup(const QString& text) {
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

} // namespace tarvek
