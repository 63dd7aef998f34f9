#include "seal/MonthFollower.h"

#include "common/SharedFile.h"
#include "seal/OwnFiles.h"
#include "seal/SealChain.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

StampFollower::Stamp StampAt(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {StampOf(st), qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
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
                files_.try_emplace({kind, MonthKey(name, kind)}, Stamp{{0, 0, 0, false}, -1});
    folderStamp_ = folder;
    std::vector<MonthFileNews> news;
    for (auto& [file, stamp] : files_) {
        const QString path = folder_ + u'/' + MonthFileOf(file.first, file.second);
        const Stamp now = StampAt(path);
        if (now == stamp)
            continue;
        MonthFileNews n{file.first,
                        file.second,
                        now.file.exists,
                        stamp.file.exists && now.file.exists && now.file.inode != stamp.file.inode,
                        {}};
        if (const auto records = now.file.exists ? RecordsOf(path, file.first) : std::nullopt)
            n.records = *records;
        else
            n.exists = false;
        stamp = now;
        news.push_back(std::move(n));
    }
    return news;
}

} // namespace tarvek
