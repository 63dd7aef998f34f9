#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <optional>

namespace tarvek {

// Replacing a file whole: the new content goes to a new name beside it, made
// exclusively (O_EXCL, no link followed), is written and synced, then takes
// the file's name, and the folder is synced: a failure, a kill or a power cut
// leaves the old file or the new one, never a part of either.
struct ReplaceOptions {
    enum class Publish {
        Rename,   // rename(2) over whatever the name holds
        IfAbsent, // link(2) where nothing stands; whatever stands there is kept
    };
    Publish publish = Publish::Rename;
    // The new name; empty for a hidden one beside the file with a random part
    // (".name.1a2b3c4d"). A leftover of a crash under a given name is removed
    // first.
    QString temporary;
    unsigned createMode = 0666;   // as open(2) takes it, the umask applied
    std::optional<unsigned> mode; // given through the descriptor, whatever the umask
};

// Which step failed, the name it failed on (the new name for Create), errno
// and its text.
struct ReplaceFailure {
    enum class Step { Create, Write, Publish, SyncFolder };
    Step step;
    QString name;
    int error = 0;
    QString reason;
};

// Writes the content with `write` (the reason of a failure, or nothing) and
// puts it in place as `options` say. Nothing on success; on a failure the new
// name is removed and the file is as it was.
std::optional<ReplaceFailure> ReplaceFile(const QString& path, const ReplaceOptions& options,
                                          const std::function<std::optional<QString>(QFile&)>& write);

// Syncs a folder, so that an entry just made in it survives a power cut along
// with what was written into that entry: 0, or errno.
int SyncFolder(const QString& folder);

} // namespace tarvek
