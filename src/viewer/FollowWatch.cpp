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
    const auto notIn = [](const QStringList& these, const QStringList& others) {
        QStringList rest;
        for (const QString& one : these)
            if (!others.contains(one))
                rest += one;
        return rest;
    };
    if (const QStringList gone = notIn(watched, wanted); !gone.isEmpty())
        watcher_.removePaths(gone);
    if (const QStringList added = notIn(wanted, watched); !added.isEmpty())
        watcher_.addPaths(added);
}

QStringList FollowWatch::Watched() const {
    return watcher_.directories() + watcher_.files();
}

} // namespace tarvek
