// tarvek-publish: sends every record and event the logger stores to an MQTT
// broker, and runs the notification command for its alarms.
//   tarvek-publish [--config FILE] [--once] [--timeout SECONDS]
#include "common/Folders.h"
#include "publish/Publisher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QSysInfo>

#include <climits>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarvek;

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "tarvek-publish: %s\nusage: tarvek-publish [--config FILE] [--once] [--timeout SECONDS]\n",
                 why);
    return 2;
}

int ConfigFailure(const QString& text) {
    std::fprintf(stderr, "tarvek-publish: %s\n", qPrintable(text));
    return 2;
}

// The state file: in the service's state folder, else in the user's.
QString DefaultStateFile() {
    const QString service = qEnvironmentVariable("STATE_DIRECTORY").section(u':', 0, 0);
    if (!service.isEmpty())
        return service + QStringLiteral("/state");
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() && !qEnvironmentVariableIsEmpty("HOME"))
        base = qEnvironmentVariable("HOME") + QStringLiteral("/.local/state");
    return base.isEmpty() ? QString() : base + QStringLiteral("/tarvek-publish/state");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString configFile;
    Publisher::Options options;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"-h" || args[i] == u"--help") {
            std::puts("usage: tarvek-publish [--config FILE] [--once] [--timeout SECONDS]\n"
                      "Publishes the logger's stored records and events to an MQTT broker and notifies its\n"
                      "alarms; see tarvek-publish(1).");
            return 0;
        } else if (args[i] == u"--config" && i + 1 < args.size()) {
            configFile = args[++i];
        } else if (args[i] == u"--once") {
            options.once = true;
        } else if (args[i] == u"--timeout" && i + 1 < args.size()) {
            bool ok = false;
            options.timeoutSeconds = args[++i].toInt(&ok);
            // Its timer counts milliseconds in an int.
            if (!ok || options.timeoutSeconds < 1 || options.timeoutSeconds > INT_MAX / 1000)
                return Usage("--timeout needs a whole number of seconds from 1 to 2147483");
        } else {
            return Usage(qPrintable(QStringLiteral("unknown argument %1").arg(args[i])));
        }
    }

    QFile machine(QStringLiteral("/etc/machine-id"));
    const QString machineId =
        machine.open(QIODevice::ReadOnly) ? QString::fromLatin1(machine.readLine(64)).trimmed() : QString();
    const ConfigDefaults defaults{QSysInfo::machineHostName(),
                                  DataFolderPath(QCoreApplication::applicationDirPath()), DefaultStateFile(),
                                  machineId};
    QByteArray text;
    if (!configFile.isEmpty()) {
        QFile file(configFile);
        if (!file.open(QIODevice::ReadOnly))
            return ConfigFailure(
                QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(configFile), file.errorString()));
        text = file.readAll();
    }
    const auto parsed =
        ParsePublishConfig(text, configFile.isEmpty() ? QStringLiteral("(defaults)") : configFile, defaults);
    if (const auto* error = std::get_if<ConfigError>(&parsed))
        return ConfigFailure(error->text);
    options.config = std::get<PublishConfig>(parsed);
    if (!options.config.passwordFile.isEmpty()) {
        QStringList warnings;
        const auto password = ReadPasswordFile(configFile, options.config,
                                               qEnvironmentVariable("CREDENTIALS_DIRECTORY"), &warnings);
        if (const auto* error = std::get_if<ConfigError>(&password))
            return ConfigFailure(error->text);
        for (const QString& warning : warnings)
            std::fprintf(stderr, "tarvek-publish: %s\n", qPrintable(warning));
        options.password = std::get<QString>(password);
    }
    for (const auto& [key, path] :
         {std::pair{"cafile", options.config.cafile}, std::pair{"certfile", options.config.certfile},
          std::pair{"keyfile", options.config.keyfile}})
        if (!path.isEmpty() && !QFileInfo(path).isReadable())
            return ConfigFailure(
                QStringLiteral("%1: %2: %3 cannot be read").arg(configFile, QLatin1StringView(key), path));
    QDir().mkpath(QFileInfo(options.config.state).absolutePath());

    // SIGTERM and SIGINT end the run from the event loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return ConfigFailure(QStringLiteral("cannot set up signal handling"));
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Publisher publisher(std::move(options));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &publisher, [&] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        publisher.Stop();
    });
    QObject::connect(
        &publisher, &Publisher::Finished, &app, [](int code) { QCoreApplication::exit(code); },
        Qt::QueuedConnection);
    // A state file that cannot be read or written: 3, which the service
    // retries (a full disk may clear), each time saying how to recover.
    if (!publisher.Start())
        return 3;
    return app.exec();
}
