#include "common/SharedFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

SharedFile Refused(int fd, int error, const QString& reason) {
    if (fd >= 0)
        ::close(fd);
    return SharedFile{-1, false, error, reason};
}

QString ReasonOf(int error, LinkPolicy links) {
    // O_NOFOLLOW on a symbolic link fails with ELOOP.
    if (error == ELOOP && links == LinkPolicy::Refuse)
        return QStringLiteral("is a symbolic link");
    return qt_error_string(error);
}

} // namespace

SharedFile OpenSharedFile(const QString& path, SharedAccess access, LinkPolicy links) {
    const QByteArray name = QFile::encodeName(path);
    const int follow = links == LinkPolicy::Refuse ? O_NOFOLLOW : 0;
    const int append = access == SharedAccess::CreateAppend ? O_APPEND : 0;
    const int base =
        O_NONBLOCK | O_CLOEXEC | follow | append | (access == SharedAccess::Read ? O_RDONLY : O_RDWR);

    int fd = -1;
    bool created = false;
    if (access == SharedAccess::CreateWrite || access == SharedAccess::CreateAppend) {
        // O_EXCL never follows a link, a dangling one included: the name
        // exists, and the open below then refuses it.
        fd = ::open(name.constData(), base | O_CREAT | O_EXCL | O_NOFOLLOW, 0664);
        created = fd >= 0;
        if (fd < 0 && errno != EEXIST)
            return Refused(-1, errno, ReasonOf(errno, links));
    }
    if (fd < 0)
        fd = ::open(name.constData(), base);
    if (fd < 0)
        return Refused(-1, errno, ReasonOf(errno, links));

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Refused(fd, errno, qt_error_string(errno));
    if (!S_ISREG(st.st_mode))
        return Refused(fd, EINVAL, QStringLiteral("is not a regular file"));
    if (links == LinkPolicy::Refuse && st.st_nlink != 1)
        return Refused(fd, EMLINK, QStringLiteral("has more than one link"));
    if (created && ::fchmod(fd, 0664) != 0) {
        const int error = errno;
        ::unlink(name.constData());
        return Refused(fd, error, qt_error_string(error));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Refused(fd, errno, qt_error_string(errno));
    return SharedFile{fd, created, 0, {}};
}

qint64 ReadAt(int fd, char* out, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size_t(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace tarvek
