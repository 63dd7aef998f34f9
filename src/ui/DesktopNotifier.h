#pragma once

#include "alarm/AlarmMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <functional>

namespace tarvek {

// A text as a notification body for a server that reads markup there: its
// "&", "<" and ">" as entities.
QString BodyMarkup(const QString& text);

// A raised alarm as a notification of the desktop (the freedesktop
// notification service on the session bus). The calls are asynchronous: a
// missing, slow or failing service costs the scan nothing, and the first
// failure is said on stderr (once for the whole run). The server's
// capabilities are asked before each notice, so the body is escaped only
// where it would be read as markup.

class DesktopNotifier final : public QObject, public AlarmNotifier {
    Q_OBJECT
  public:
    explicit DesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);
    void Notify(const AlarmNotice& notice) override;

  private:
    void Call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> then);
    void Fail(const QString& reason);

    QDBusConnection bus_;
    bool told_ = false;
};

} // namespace tarvek
