#include "publish/PublishConfig.h"
#include "publish/NotifyPlan.h"

#include "common/SharedFile.h"
#include "data/StoredTime.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

std::optional<int> IntegerIn(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional(value) : std::nullopt;
}

std::optional<bool> Switch(const QString& text) {
    const QString t = text.toLower();
    if (t == u"yes" || t == u"true" || t == u"on" || t == u"1")
        return true;
    if (t == u"no" || t == u"false" || t == u"off" || t == u"0")
        return false;
    return std::nullopt;
}

std::optional<StartFrom> StartOf(const QString& text) {
    if (text == u"new")
        return StartFrom{StartFrom::New, 0};
    if (text == u"all")
        return StartFrom{StartFrom::All, 0};
    const std::optional<qint64> ms = ParseStoredTime(text);
    return ms ? std::optional(StartFrom{StartFrom::Time, *ms}) : std::nullopt;
}

// A topic prefix: not empty, no wildcard, no control character (the
// broker refuses them), no empty level at either end.
bool IsTopicPrefix(const QString& text) {
    const bool control = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
    });
    return !text.isEmpty() && !control && !text.contains(u'+') && !text.contains(u'#') &&
           !text.startsWith(u'/') && !text.endsWith(u'/') && text.toUtf8().size() < 200;
}

} // namespace

std::variant<PublishConfig, ConfigError> ParsePublishConfig(const QByteArray& text, const QString& fileName,
                                                            const ConfigDefaults& defaults) {
    const QString file = QDir::toNativeSeparators(fileName);
    const auto error = [&](const QString& key, const QString& why) {
        return ConfigError{QStringLiteral("%1: %2: %3").arg(file, key, why)};
    };
    PublishConfig c;
    // Cloned machines share a host name, not a machine id.
    c.clientId = QStringLiteral("tarvek-publish-") + defaults.hostName +
                 (defaults.machineId.isEmpty() ? QString() : u'-' + defaults.machineId.left(8));
    c.prefix = QStringLiteral("tarvek/") + defaults.hostName;
    c.data = defaults.dataFolder;
    c.state = defaults.stateFile;
    bool portGiven = false;
    std::set<QString> seen;

    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines[n]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (equals <= 0)
            return error(QStringLiteral("line %1").arg(n + 1), QStringLiteral("is not \"key = value\""));
        if (!seen.insert(key).second)
            return error(key, QStringLiteral("is given twice"));
        const auto number = [&](int low, int high, int* out) {
            const std::optional<int> v = IntegerIn(value, low, high);
            if (v)
                *out = *v;
            return v.has_value();
        };
        const QString range = QStringLiteral("\"%1\" is not a whole number from %2 to %3");
        if (key == u"host") {
            if (value.contains(u' '))
                return error(key, QStringLiteral("needs a host name or address, or nothing to only notify"));
            c.host = value;
        } else if (key == u"port") {
            if (!number(1, 65535, &c.port))
                return error(key, range.arg(value).arg(1).arg(65535));
            portGiven = true;
        } else if (key == u"tls") {
            const std::optional<bool> on = Switch(value);
            if (!on)
                return error(key, QStringLiteral("\"%1\" is not yes or no").arg(value));
            c.tls = *on;
        } else if (key == u"cafile") {
            c.cafile = value;
        } else if (key == u"certfile") {
            c.certfile = value;
        } else if (key == u"keyfile") {
            c.keyfile = value;
        } else if (key == u"username") {
            c.username = value;
        } else if (key == u"password") {
            return error(key, QStringLiteral("the password is never kept here; name a password_file"));
        } else if (key == u"password_file") {
            c.passwordFile = value;
        } else if (key == u"client_id") {
            if (value.isEmpty() || value.toUtf8().size() > 65535)
                return error(key, QStringLiteral("needs a text"));
            c.clientId = value;
        } else if (key == u"keepalive") {
            if (!number(5, 65535, &c.keepalive))
                return error(key, range.arg(value).arg(5).arg(65535));
        } else if (key == u"prefix") {
            if (!IsTopicPrefix(value))
                return error(key, QStringLiteral("\"%1\" is no topic prefix (not empty, no + or #, no "
                                                 "control character, no / at either end)")
                                      .arg(value));
            c.prefix = value;
        } else if (key == u"qos") {
            if (!number(0, 2, &c.qos))
                return error(key, range.arg(value).arg(0).arg(2));
        } else if (key == u"data") {
            if (value.isEmpty())
                return error(key, QStringLiteral("needs a folder"));
            c.data = value;
        } else if (key == u"start") {
            const std::optional<StartFrom> start = StartOf(value);
            if (!start)
                return error(key, QStringLiteral("\"%1\" is not new, all or YYYY-MM-DDTHH:MM:SS").arg(value));
            c.start = *start;
        } else if (key == u"state") {
            if (value.isEmpty())
                return error(key, QStringLiteral("needs a file"));
            c.state = value;
        } else if (key == u"notify_command") {
            const std::optional<QStringList> words = SplitCommandWords(value);
            if (!words || words->isEmpty())
                return error(key, QStringLiteral("needs a program and its arguments, quotes closed"));
            c.notifyCommand = *words;
        } else if (key == u"notify_batch") {
            if (!number(0, 3600, &c.notifyBatch))
                return error(key, range.arg(value).arg(0).arg(3600));
        } else if (key == u"notify_timeout") {
            if (!number(1, 3600, &c.notifyTimeout))
                return error(key, range.arg(value).arg(1).arg(3600));
        } else if (key == u"notify_max_age") {
            if (!number(60, 2'592'000, &c.notifyMaxAge))
                return error(key, range.arg(value).arg(60).arg(2'592'000));
        } else {
            return error(key, QStringLiteral("is not a setting"));
        }
    }
    if (c.host.isEmpty() && c.notifyCommand.isEmpty())
        return error(QStringLiteral("host"),
                     QStringLiteral("left empty needs a notify_command (it then only notifies)"));
    if (c.tls && c.cafile.isEmpty())
        return error(QStringLiteral("cafile"), QStringLiteral("is needed when tls is on"));
    if (c.certfile.isEmpty() != c.keyfile.isEmpty())
        return error(c.certfile.isEmpty() ? QStringLiteral("certfile") : QStringLiteral("keyfile"),
                     QStringLiteral("certfile and keyfile go together"));
    if (!c.passwordFile.isEmpty() && c.username.isEmpty())
        return error(QStringLiteral("username"), QStringLiteral("is needed with a password_file"));
    if (c.state.isEmpty())
        return error(QStringLiteral("state"), QStringLiteral("needs a file (no state folder is known)"));
    if (c.tls && !portGiven)
        c.port = 8883;
    return c;
}

std::variant<QString, ConfigError> ReadPasswordFile(const QString& configFile, const PublishConfig& config,
                                                    const QString& credentials, QStringList* warnings) {
    const QString path = QDir::toNativeSeparators(config.passwordFile);
    const SharedFile file = OpenSharedFile(config.passwordFile, SharedAccess::Read);
    QString why = file ? QString() : file.reason;
    QByteArray line(4096, '\0');
    struct stat st {};
    if (file) {
        const qint64 n = ReadAt(file.fd, line.data(), line.size(), 0);
        why = n < 0 ? qt_error_string(errno) : QString();
        line.truncate(std::max<qint64>(n, 0));
        ::fstat(file.fd, &st);
        ::close(file.fd);
    }
    const QString password = QString::fromUtf8(line.left(line.indexOf('\n'))).remove(u'\r');
    if (!why.isEmpty() || password.isEmpty())
        return ConfigError{QStringLiteral("%1: password_file: %2: %3")
                               .arg(QDir::toNativeSeparators(configFile), path,
                                    why.isEmpty() ? QStringLiteral("holds no password") : why)};
    const bool private_ = !credentials.isEmpty() && config.passwordFile.startsWith(credentials + u'/');
    if ((st.st_mode & 077) != 0 && !private_)
        *warnings += QStringLiteral("%1: others than its owner may read the password (mode %2); "
                                    "make it 0600 or hand it over as a credential")
                         .arg(path)
                         .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
    if (!config.tls)
        *warnings += QStringLiteral("%1: the password goes to the broker %2 without TLS, readable on the "
                                    "network")
                         .arg(path, config.host);
    return password;
}

} // namespace tarvek
