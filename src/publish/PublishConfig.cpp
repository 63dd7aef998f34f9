#include "publish/PublishConfig.h"
#include "publish/NotifyPlan.h"

#include "common/Folders.h"
#include "common/SharedFile.h"
#include "data/EventRecord.h"
#include "data/StoredTime.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string_view>
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

// A key's rule: sets its value, or says why the value is refused.
using Why = std::optional<QString>;
using Setter = Why (*)(PublishConfig&, const QString&);

template <auto Field, int Low, int High> Why Number(PublishConfig& c, const QString& value) {
    const std::optional<int> v = IntegerIn(value, Low, High);
    if (!v)
        return QStringLiteral("\"%1\" is not a whole number from %2 to %3").arg(value).arg(Low).arg(High);
    c.*Field = *v;
    return std::nullopt;
}

template <auto Field> Why Text(PublishConfig& c, const QString& value) {
    c.*Field = value;
    return std::nullopt;
}

Why Host(PublishConfig& c, const QString& value) {
    if (value.contains(u' '))
        return QStringLiteral("needs a host name or address, or nothing to only notify");
    c.host = value;
    return std::nullopt;
}

Why Tls(PublishConfig& c, const QString& value) {
    const std::optional<bool> on = Switch(value);
    if (!on)
        return QStringLiteral("\"%1\" is not yes or no").arg(value);
    c.tls = *on;
    return std::nullopt;
}

Why ClientId(PublishConfig& c, const QString& value) {
    if (value.isEmpty() || value.toUtf8().size() > 65535)
        return QStringLiteral("needs a text");
    c.clientId = value;
    return std::nullopt;
}

Why Prefix(PublishConfig& c, const QString& value) {
    if (!IsTopicPrefix(value))
        return QStringLiteral("\"%1\" is no topic prefix (not empty, no + or #, no control character, no / "
                              "at either end)")
            .arg(value);
    c.prefix = value;
    return std::nullopt;
}

// A folder or a file that cannot be left empty.
template <auto Field, bool Folder> Why Place(PublishConfig& c, const QString& value) {
    if (value.isEmpty())
        return Folder ? QStringLiteral("needs a folder") : QStringLiteral("needs a file");
    c.*Field = value;
    return std::nullopt;
}

// Up to the width of an event record's kind, printable, not blank.
Why SealAlarmKind(PublishConfig& c, const QString& value) {
    const bool printable =
        std::all_of(value.cbegin(), value.cend(), [](QChar ch) { return ch >= u' ' && ch <= u'~'; });
    const int width = EventColumns::Kind.width;
    if (value.isEmpty() || value.size() > width || !printable)
        return QStringLiteral("\"%1\" is not a kind of 1 to %2 printable ASCII characters")
            .arg(value)
            .arg(width);
    c.sealAlarmKind = value;
    return std::nullopt;
}

Why Start(PublishConfig& c, const QString& value) {
    const std::optional<StartFrom> start = StartOf(value);
    if (!start)
        return QStringLiteral("\"%1\" is not new, all or YYYY-MM-DDTHH:MM:SS").arg(value);
    c.start = *start;
    return std::nullopt;
}

Why NotifyCommand(PublishConfig& c, const QString& value) {
    const std::optional<QStringList> words = SplitCommandWords(value);
    if (!words || words->isEmpty())
        return QStringLiteral("needs a program and its arguments, quotes closed");
    c.notifyCommand = *words;
    return std::nullopt;
}

Why Password(PublishConfig&, const QString&) {
    return QStringLiteral("the password is never kept here; name a password_file");
}

// Every key of publish.conf and its rule.
constexpr std::pair<std::string_view, Setter> Keys[] = {
    {"host", Host},
    {"port", Number<&BrokerSettings::port, 1, 65535>},
    {"tls", Tls},
    {"cafile", Text<&BrokerSettings::cafile>},
    {"certfile", Text<&BrokerSettings::certfile>},
    {"keyfile", Text<&BrokerSettings::keyfile>},
    {"username", Text<&BrokerSettings::username>},
    {"password", Password},
    {"password_file", Text<&PublishConfig::passwordFile>},
    {"client_id", ClientId},
    {"keepalive", Number<&BrokerSettings::keepalive, 5, 65535>},
    {"prefix", Prefix},
    {"qos", Number<&PublishConfig::qos, 0, 2>},
    {"data", Place<&PublishConfig::data, true>},
    {"seals", Place<&PublishConfig::seals, true>},
    {"seal_alarm_kind", SealAlarmKind},
    {"start", Start},
    {"state", Place<&PublishConfig::state, false>},
    {"notify_command", NotifyCommand},
    {"notify_batch", Number<&PublishConfig::notifyBatch, 0, 3600>},
    {"notify_timeout", Number<&PublishConfig::notifyTimeout, 1, 3600>},
    {"notify_max_age", Number<&PublishConfig::notifyMaxAge, 60, 2'592'000>},
};

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
    std::set<QString> seen;

    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines[n]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'['))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals).trimmed();
        if (equals <= 0)
            return error(QStringLiteral("line %1").arg(n + 1), QStringLiteral("is not \"key = value\""));
        if (!seen.insert(key).second)
            return error(key, QStringLiteral("is given twice"));
        const QByteArray utf8 = key.toUtf8();
        const std::string_view name(utf8.constData(), std::size_t(utf8.size()));
        const auto rule =
            std::find_if(std::begin(Keys), std::end(Keys), [&](const auto& k) { return k.first == name; });
        if (rule == std::end(Keys))
            return error(key, QStringLiteral("is not a setting"));
        if (const Why why = rule->second(c, line.mid(equals + 1).trimmed()))
            return error(key, *why);
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
    if (c.seals.isEmpty())
        c.seals = SealFolderBesideData(c.data);
    if (c.tls && !seen.count(QStringLiteral("port")))
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
