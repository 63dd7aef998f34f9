#include "seal/KeyStore.h"

#include "common/RecordFile.h"
#include "data/StoredTime.h"
#include "seal/OwnFiles.h"
#include "seal/SealChain.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

bool Exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

std::nullopt_t Refuse(QString* error, const QString& message) {
    *error = message;
    return std::nullopt;
}

std::optional<QString> Synced(const QString& folder) {
    const FileOutcome synced = SyncedFolder(folder);
    return synced ? std::nullopt : std::optional(synced.message);
}

// The folder made 0700 where missing; refused unless it is the sealer's own
// and closed to everyone else.
std::optional<QString> PrivateFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return FailureText(path, QStringLiteral("cannot make the key folder"));
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return FailureText(path, QStringLiteral("cannot examine the key folder"));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        return QStringLiteral("%1: the key folder must be a folder of this user's that no one else may enter "
                              "(mode %2): the key would not be secret")
            .arg(path)
            .arg(st.st_mode & 07777, 4, 8, QChar(u'0'));
    return std::nullopt;
}

// A key file: a regular file of this user's, one link, mode 0600.
std::optional<std::pair<SealKey, int>> ReadKey(const QString& path, QString* error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Refuse(error, FailureText(path, QStringLiteral("cannot open the key")));
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1 ||
        (st.st_mode & 077) != 0 || st.st_size > 256)
        return Refuse(error, path + QStringLiteral(": not a key file of this user's with mode 0600"));
    QByteArray text = file.readAll();
    const QList<QByteArray> words = text.trimmed().split(' ');
    QByteArray seed = words.size() == 3 && words[0] == "TARVEK-SEAL-KEY-1" ? QByteArray::fromBase64(words[2])
                                                                           : QByteArray();
    std::optional<SealKey> key = SealKey::FromSeed(seed);
    const int month = words.size() == 3 ? MonthOfText(words[1]) : -1;
    Wipe(text), Wipe(seed);
    if (!key || month < 0)
        return Refuse(error, path + QStringLiteral(": not a key file"));
    return std::pair{std::move(*key), month};
}

// Overwrites the file with zeros, syncs and removes it.
std::optional<QString> WipeFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return FailureText(path, QStringLiteral("cannot wipe the key"));
    struct stat st {};
    std::optional<QString> failure;
    if (::fstat(fd, &st) != 0)
        failure = FailureText(path, QStringLiteral("cannot wipe the key"));
    else
        failure = WriteFully(fd, QByteArray(qsizetype(st.st_size), '\0'), path);
    if (!failure && ::fsync(fd) != 0)
        failure = FailureText(path, QStringLiteral("cannot sync"));
    ::close(fd);
    if (!failure && ::unlink(name.constData()) != 0)
        failure = FailureText(path, QStringLiteral("cannot remove the key"));
    return failure;
}

} // namespace

KeyStore::KeyStore(QString keyFolder, QString sealFolder)
    : keyFolder_(std::move(keyFolder)), sealFolder_(std::move(sealFolder)) {}

KeyStore::~KeyStore() {
    if (lock_ >= 0)
        ::close(lock_);
}

QString KeyStore::Path(const char* name) const {
    return keyFolder_ + u'/' + QLatin1StringView(name);
}

std::optional<KeyStore::Current>
KeyStore::Load(int month, qint64 utcMs, const std::function<bool(const PublicKey&)>& named, QString* error) {
    if (auto failure = PrivateFolder(keyFolder_))
        return Refuse(error, *failure);
    if (lock_ < 0)
        lock_ = ::open(QFile::encodeName(keyFolder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_ < 0 || ::flock(lock_, LOCK_EX | LOCK_NB) != 0)
        return Refuse(error, errno == EWOULDBLOCK
                                 ? keyFolder_ + QStringLiteral(": another tarvek-seal uses this key")
                                 : FailureText(keyFolder_, QStringLiteral("cannot lock")));
    if (Exists(Path("next.key"))) {
        const auto next = ReadKey(Path("next.key"), error);
        if (!next)
            return std::nullopt;
        const bool rotated = !Exists(Path("current.key")) || named(next->first.Public());
        if (auto failure = rotated ? Commit() : WipeFile(Path("next.key")))
            return Refuse(error, *failure);
    }
    if (Exists(Path("current.key"))) {
        auto current = ReadKey(Path("current.key"), error);
        if (!current)
            return std::nullopt;
        return Current{std::make_unique<SealKey>(std::move(current->first)), current->second, false};
    }
    auto key = std::make_unique<SealKey>(SealKey::Generate());
    if (auto failure = WriteKey("current.key", *key, month))
        return Refuse(error, *failure);
    if (auto failure = ListKey(*key, month, utcMs))
        return Refuse(error, *failure);
    return Current{std::move(key), month, true};
}

std::optional<QString> KeyStore::StoreNext(const SealKey& key, int month, qint64 utcMs) {
    if (Exists(Path("next.key")))
        if (auto failure = WipeFile(Path("next.key")))
            return failure;
    if (auto failure = WriteKey("next.key", key, month))
        return failure;
    return ListKey(key, month, utcMs);
}

std::optional<QString> KeyStore::Commit() {
    if (Exists(Path("current.key")))
        if (auto failure = WipeFile(Path("current.key")))
            return failure;
    if (::rename(QFile::encodeName(Path("next.key")).constData(),
                 QFile::encodeName(Path("current.key")).constData()) != 0)
        return FailureText(Path("next.key"), QStringLiteral("cannot take the next key"));
    return Synced(keyFolder_);
}

std::optional<QString> KeyStore::WriteKey(const char* name, const SealKey& key, int month) {
    const QString path = Path(name);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return FailureText(path, QStringLiteral("cannot make the key file"));
    QByteArray seed = key.Seed();
    QByteArray text = "TARVEK-SEAL-KEY-1 " + MonthText(month) + ' ' + seed.toBase64() + '\n';
    std::optional<QString> failure = ::fchmod(fd, 0600) != 0
                                         ? FailureText(path, QStringLiteral("cannot set its mode"))
                                         : WriteFully(fd, text, path);
    Wipe(text), Wipe(seed);
    if (!failure && ::fsync(fd) != 0)
        failure = FailureText(path, QStringLiteral("cannot sync"));
    ::close(fd);
    return failure ? failure : Synced(keyFolder_);
}

std::optional<QString> KeyStore::ListKey(const SealKey& key, int month, qint64 utcMs) {
    const QString path = sealFolder_ + QStringLiteral("/keys.txt");
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return FailureText(path, QStringLiteral("cannot open"));
    const QByteArray block = "key " + KeyId(key.Public()) + " for " + MonthText(month) + " made " +
                             StoredTimeText(utcMs) + "Z\nfingerprint " + Fingerprint(key.Public()) + '\n' +
                             PublicKeyPem(key.Public());
    std::optional<QString> failure = WriteFully(fd, block, path);
    if (!failure && ::fsync(fd) != 0)
        failure = FailureText(path, QStringLiteral("cannot sync"));
    ::close(fd);
    return failure ? failure : Synced(sealFolder_);
}

std::vector<ListedKey> ParseKeyList(QByteArrayView text) {
    std::vector<ListedKey> keys;
    const QList<QByteArray> lines = text.toByteArray().split('\n');
    for (qsizetype i = 0; i + 4 < lines.size(); ++i) {
        const QList<QByteArray> words = lines[i].split(' ');
        if (words.size() < 4 || words[0] != "key" || words[2] != "for")
            continue;
        const auto key = PublicKeyOfPem(lines[i + 2] + '\n' + lines[i + 3] + '\n' + lines[i + 4]);
        if (key && KeyId(*key) == words[1])
            keys.push_back({*key, MonthOfText(words[3])});
    }
    return keys;
}

} // namespace tarvek
