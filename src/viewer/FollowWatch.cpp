#include "viewer/FollowWatch.h"

#include <QFileInfo>

namespace tarvek {

FollowWatch::FollowWatch(QObject* parent) : QObject(parent) {
    // A write of several records, or the logger's record and its header's
    // count, notifies more than once: one follow step reads them all.
    burst_.setSingleShot(true);
    burst_.setInterval(50);
    connect(&burst_, &QTimer::timeout, this, &FollowWatch::Changed);
    const auto changed = [this] {
        if (!burst_.isActive())
            burst_.start();
    };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
}

void FollowWatch::Watch(const QStringList& paths) {
    QStringList wanted;
    for (const QString& path : paths) {
        const QFileInfo info(path); // lstat's answer first: a link is never followed
        if (!info.isSymLink() && (info.isDir() || info.isFile()))
            wanted += path;
    }
    wanted.removeDuplicates();
    const QStringList watched = Watched();
    QStringList gone;
    for (const QString& path : watched)
        if (!wanted.contains(path))
            gone += path;
    if (!gone.isEmpty())
        watcher_.removePaths(gone);
    QStringList added;
    for (const QString& path : wanted)
        if (!watched.contains(path))
            added += path;
    if (!added.isEmpty())
        watcher_.addPaths(added);
}

QStringList FollowWatch::Watched() const {
    return watcher_.directories() + watcher_.files();
}

} // namespace tarvek
