#include "seal/SealFollower.h"

#include "common/SharedFile.h"
#include "seal/OwnFiles.h"
#include "seal/SealChain.h"

#include <QDateTime>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

StampFollower::Stamp StampAt(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), ns(st.st_mtim), ns(st.st_ctim), true};
}

// The whole records of the file, a data file's after its count record;
// nothing when no regular file stands there.
std::optional<QByteArray> RecordsOf(const QString& path, MonthFileKind kind) {
    const SharedFile shared = OpenSharedFile(path, SharedAccess::Read);
    if (!shared)
        return std::nullopt;
    const int length = RecordLength(kind);
    QByteArray records = WholeRecords(shared.fd, kind == MonthFileKind::Data ? length : 0, length);
    ::close(shared.fd);
    return records;
}

} // namespace

std::vector<MonthFileNews> StampFollower::Look() {
    const Stamp folder = StampAt(folder_);
    if (folder != folderStamp_ || looks_++ % 60 == 0)
        for (MonthFileKind kind : {MonthFileKind::Data, MonthFileKind::Events})
            for (const QString& name : ListMonthFiles(folder_, kind))
                files_.try_emplace({kind, MonthKey(name, kind)}, Stamp{0, 0, -2, 0, 0, false});
    folderStamp_ = folder;
    std::vector<MonthFileNews> news;
    for (auto& [file, stamp] : files_) {
        const QString path = folder_ + u'/' + MonthFileOf(file.first, file.second);
        const Stamp now = StampAt(path);
        if (now == stamp)
            continue;
        const bool replaced =
            stamp.exists && now.exists && (now.inode != stamp.inode || now.device != stamp.device);
        MonthFileNews n{file.first, file.second, now.exists, replaced, {}};
        if (const auto records = now.exists ? RecordsOf(path, file.first) : std::nullopt)
            n.records = *records;
        else
            n.exists = false;
        // A file system's clock ticks coarsely: a change within the tick of
        // this stamp would leave it as it is, so a young stamp is read again.
        const bool young = QDateTime::currentMSecsSinceEpoch() * 1'000'000 - now.ctimeNs < 1'000'000'000;
        stamp = young ? Stamp{0, 0, -2, 0, 0, false} : now;
        news.push_back(std::move(n));
    }
    return news;
}

} // namespace tarvek
