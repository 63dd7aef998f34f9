#include "data/MonthFolder.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

qint64 NowNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

FileStamp StampOf(const struct stat& st) {
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), ns(st.st_mtim), true, ns(st.st_ctim)};
}

FileStamp StampOf(const QString& path, LinkPolicy links) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    const int failed =
        links == LinkPolicy::Refuse ? ::lstat(name.constData(), &st) : ::stat(name.constData(), &st);
    return failed != 0 ? FileStamp{} : StampOf(st);
}

FileChange ChangeOf(const FileStamp& before, const FileStamp& now) {
    if (!before.exists || !now.exists)
        return before.exists ? FileChange::Removed : now.exists ? FileChange::Added : FileChange::None;
    if (!before.SameFile(now))
        return FileChange::Replaced;
    if (now.size != before.size)
        return now.size < before.size ? FileChange::Cut : FileChange::Grew;
    return now.mtimeNs != before.mtimeNs || now.ctimeNs != before.ctimeNs ? FileChange::Touched
                                                                          : FileChange::None;
}

bool ListAgain(FolderSeen& seen, const FileStamp& now, qint64 nowNs) {
    if (seen.trusted && now == seen.stamp)
        return false;
    seen = {now, Trusted(now, nowNs)};
    return true;
}

MonthLook LookAt(const Followed& file, const FileStamp& now) {
    const FileChange change = ChangeOf(file.opened, now);
    return {file.name, change, file.opened, now, change != FileChange::None || file.failed || !file.trusted};
}

OpenedFile OpenedFile::Open(const QString& path, LinkPolicy links) {
    OpenedFile file;
    const SharedFile shared = OpenSharedFile(path, SharedAccess::Read, links);
    struct stat st {};
    if (!shared) {
        file.error_ = shared.error;
        file.failure_ = shared.reason;
    } else if (::fstat(shared.fd, &st) != 0) {
        file.error_ = errno;
        file.failure_ = qt_error_string(errno);
        ::close(shared.fd);
    } else {
        file.fd_ = shared.fd;
        file.stamp_ = StampOf(st);
    }
    return file;
}

OpenedFile::OpenedFile(OpenedFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)), error_(o.error_), stamp_(o.stamp_), failure_(std::move(o.failure_)) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(o.fd_, -1);
        error_ = o.error_;
        stamp_ = o.stamp_;
        failure_ = std::move(o.failure_);
    }
    return *this;
}

OpenedFile::~OpenedFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<QByteArray> OpenedFile::Read(qint64 offset, qint64 size, QString* reason) const {
    QByteArray bytes(size, '\0');
    const qint64 n = size > 0 ? ReadAt(fd_, bytes.data(), size, offset) : 0;
    if (n == size)
        return bytes;
    *reason = n < 0 ? qt_error_string(errno) : QStringLiteral("cut while read");
    return std::nullopt;
}

MonthFolderFollower::MonthFolderFollower(QString folder, MonthFileKind kind)
    : folder_(std::move(folder)), kind_(kind) {}

MonthFolderFollower::MonthFolderFollower(const QStringList& paths, LinkPolicy links) : links_(links) {
    for (const QString& path : paths)
        files_.push_back({path, {}});
}

QString MonthFolderFollower::PathOf(const QString& name) const {
    return folder_.isEmpty() ? name : folder_ + u'/' + name;
}

QStringList MonthFolderFollower::Names() const {
    QStringList names;
    for (const Followed& file : files_)
        names += file.name;
    return names;
}

QStringList MonthFolderFollower::Watched(const QStringList& read) const {
    QStringList paths;
    for (const QString& name : read)
        paths += PathOf(name);
    if (!files_.empty() && !read.contains(files_.back().name))
        paths += PathOf(files_.back().name);
    return paths;
}

std::vector<MonthLook> MonthFolderFollower::Step() {
    std::vector<MonthLook> looks;
    const bool listed = !folder_.isEmpty();
    // The stamp before the listing: a file added meanwhile changes it.
    if (listed && ListAgain(seen_, StampOf(folder_), NowNs())) {
        std::vector<Followed> files;
        for (const QString& name : ListMonthFiles(folder_, kind_)) {
            const auto known =
                std::find_if(files_.begin(), files_.end(), [&](const Followed& f) { return f.name == name; });
            files.push_back(known != files_.end() ? std::move(*known) : Followed{name, {}});
            if (known != files_.end())
                known->name.clear();
        }
        for (const Followed& gone : files_)
            if (!gone.name.isEmpty() && gone.opened.exists)
                looks.push_back(LookAt(gone, {}));
        files_ = std::move(files);
    }
    for (auto file = files_.begin(); file != files_.end();) {
        const MonthLook look = LookAt(*file, StampOf(PathOf(file->name), links_));
        // Gone from a listed folder: said once (when it was ever opened), then no longer followed.
        const bool gone = listed && !look.now.exists;
        if (!gone || look.change == FileChange::Removed)
            looks.push_back(look);
        file = gone ? files_.erase(file) : file + 1;
    }
    if (listed)
        std::stable_sort(looks.begin(), looks.end(), [&](const MonthLook& a, const MonthLook& b) {
            return MonthKey(a.name, kind_) < MonthKey(b.name, kind_);
        });
    return looks;
}

OpenedFile MonthFolderFollower::Open(const QString& name) {
    OpenedFile file = OpenedFile::Open(PathOf(name), links_);
    const auto known =
        std::find_if(files_.begin(), files_.end(), [&](const Followed& f) { return f.name == name; });
    if (known != files_.end()) {
        known->opened = file ? file.Stamp() : StampOf(PathOf(name), links_);
        known->trusted = Trusted(known->opened, NowNs());
        known->failed = !file;
    }
    return file;
}

} // namespace tarvek
