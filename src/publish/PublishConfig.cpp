#include "publish/PublishConfig.h"
#include "data/DataRecord.h"
#include "publish/NotifyPlan.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTime>

#include <set>

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
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() != 19 || text[10] != u'T' || !date.isValid() || !time.isValid())
        return std::nullopt;
    return StartFrom{StartFrom::Time,
                     (date.toJulianDay() - UnixEpochDay) * 86'400'000 + time.msecsSinceStartOfDay()};
}

// A topic prefix: not empty, no wildcard, no empty level at either end.
bool IsTopicPrefix(const QString& text) {
    return !text.isEmpty() && !text.contains(u'+') && !text.contains(u'#') && !text.startsWith(u'/') &&
           !text.endsWith(u'/') && text.toUtf8().size() < 200;
}

} // namespace

std::variant<PublishConfig, ConfigError> ParsePublishConfig(const QByteArray& text, const QString& fileName,
                                                            const ConfigDefaults& defaults) {
    const QString file = QDir::toNativeSeparators(fileName);
    const auto error = [&](const QString& key, const QString& why) {
        return ConfigError{QStringLiteral("%1: %2: %3").arg(file, key, why)};
    };
    PublishConfig c;
    c.clientId = QStringLiteral("tarvek-publish-") + defaults.hostName;
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
            if (value.isEmpty() || value.contains(u' '))
                return error(key, QStringLiteral("needs a host name or address"));
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
                return error(key, QStringLiteral("\"%1\" is no topic prefix (not empty, no + or #, no / at "
                                                 "either end)")
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

std::variant<QString, ConfigError> ReadPasswordFile(const QString& configFile, const QString& passwordFile) {
    QFile file(passwordFile);
    const QString why = !file.open(QIODevice::ReadOnly) ? file.errorString() : QString();
    const QByteArray line = why.isEmpty() ? file.readLine(4096) : QByteArray();
    const QString password = QString::fromUtf8(line).remove(u'\n').remove(u'\r');
    if (!why.isEmpty() || password.isEmpty())
        return ConfigError{QStringLiteral("%1: password_file: %2: %3")
                               .arg(QDir::toNativeSeparators(configFile),
                                    QDir::toNativeSeparators(passwordFile),
                                    why.isEmpty() ? QStringLiteral("holds no password") : why)};
    return password;
}

} // namespace tarvek
