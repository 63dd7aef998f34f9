#pragma once

#include "alarm/AlarmMonitor.h"

#include <QDBusConnection>
#include <QObject>

namespace tarvek {

// A raised alarm as a notification of the desktop (the freedesktop
// notification service on the session bus). The call is asynchronous: a
// missing, slow or failing service costs the scan nothing, and the first
// failure is said on stderr (once for the whole run).
class DesktopNotifier final : public QObject, public AlarmNotifier {
    Q_OBJECT
  public:
    explicit DesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);
    void Notify(const AlarmNotice& notice) override;

  private:
    void Fail(const QString& reason);

    QDBusConnection bus_;
    bool told_ = false;
};

} // namespace tarvek
