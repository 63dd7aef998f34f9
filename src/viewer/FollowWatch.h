#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace tarvek {

// The file system's notifications for the follow mode: a record or event
// appended, a month's file made, shown at once instead of at the next
// one-second follow step. Notifications can be missed (a full queue, a
// network folder), so the follow step stays; this only brings it forward.
class FollowWatch : public QObject {
    Q_OBJECT
  public:
    explicit FollowWatch(QObject* parent = nullptr);
    // Watches `paths` in place of what was watched: folders and regular
    // files only. A link, a FIFO or a device is left to the follow step,
    // which names it; nothing here opens or reads a file.
    void Watch(const QStringList& paths);
    QStringList Watched() const;

  signals:
    // Once for a burst of notifications, a moment after its first.
    void Changed();

  private:
    QFileSystemWatcher watcher_;
    QTimer burst_;
};

} // namespace tarvek
