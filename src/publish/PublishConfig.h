#pragma once

#include "publish/BrokerSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace tarvek {

// Where a first run starts: only records stored from now on, everything
// stored, or the records stored at or after a wall-clock time.
struct StartFrom {
    enum Kind { New, All, Time };
    Kind kind = New;
    qint64 localMs = 0; // for Time: milliseconds of the wall clock from 1970-01-01
};

// The publisher's settings, as read from its INI file.
struct PublishConfig : BrokerSettings {
    QString passwordFile;
    QString prefix;
    int qos = 1;
    QString data;  // the data folder
    QString seals; // the sealer's folder; by default "seals" beside the data folder
    QString sealAlarmKind = QStringLiteral("SEALED"); // the kind of a finding's alarm
    StartFrom start;
    QString state; // the state file
    // The notification command (its words) and its timing, in seconds.
    QStringList notifyCommand;
    int notifyBatch = 0, notifyTimeout = 30, notifyMaxAge = 3600;
};

// What a setting falls back to when the file leaves it out.
struct ConfigDefaults {
    QString hostName;   // for the prefix and the client id
    QString dataFolder; // the one beside the program
    QString stateFile;
    QString machineId = {}; // /etc/machine-id, to tell cloned machines apart
};

// A bad setting, said as "FILE: KEY: why".
struct ConfigError {
    QString text;
};

// Reads `key = value` lines (blank lines, "#" and ";" comments and
// "[section]" lines are skipped) into a checked configuration. An unknown
// key, a value out of its range, a key given twice, TLS without a CA file,
// a client certificate without its key (or the other way round), a
// password file without a user name and an empty host without a
// notification command are errors.
std::variant<PublishConfig, ConfigError> ParsePublishConfig(const QByteArray& text, const QString& fileName,
                                                            const ConfigDefaults& defaults);

// The password: the first line of the password file, without its line end.
// The file is opened without following a link or blocking, regular files
// only; an unreadable or empty file is an error naming the file. A file that
// others may read (outside the service's `credentials` folder) and a
// password sent without TLS add a warning.
std::variant<QString, ConfigError> ReadPasswordFile(const QString& configFile, const PublishConfig& config,
                                                    const QString& credentials, QStringList* warnings);

} // namespace tarvek
