#include "publish/StateFile.h"

#include "common/ReplaceFile.h"
#include "common/SharedFile.h"
#include "data/DataRecord.h"
#include "data/MonthFiles.h"

#include <QDir>

#include <cerrno>
#include <unistd.h>

namespace tarvek {

namespace {

constexpr char Header[] = "tarvek-publish state 4";

// Each log and the records passed in it, on one line.
QByteArray EventPositionText(const EventPosition& at) {
    QByteArray text;
    for (const auto& [log, record] : at.logs)
        text += ' ' + log.toUtf8() + ' ' + QByteArray::number(record);
    return text.mid(1) + '\n';
}

// `line` after `key`: pairs of a log and its records.
std::optional<EventPosition> ParseEventPosition(const QByteArray& line, const QByteArray& key) {
    if (!line.startsWith(key))
        return std::nullopt;
    const QByteArray rest = line.mid(key.size());
    const QList<QByteArray> fields = rest.isEmpty() ? QList<QByteArray>{} : rest.split(' ');
    if (fields.size() % 2 != 0)
        return std::nullopt;
    EventPosition at;
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QString log = QString::fromUtf8(fields[i]);
        bool number = false;
        const qint64 record = fields[i + 1].toLongLong(&number);
        const bool named =
            MonthKey(log, MonthFileKind::Events) >= 0 || MonthKey(log, MonthFileKind::Seals) >= 0;
        if (!number || record < 0 || !named || at.logs.count(log))
            return std::nullopt;
        at.logs[log] = record;
    }
    return at;
}

// A month file's line: its name, its record's number and bytes.
bool ParseFileLine(const QByteArray& line, RecordPosition& position) {
    const QList<QByteArray> fields = line.split(' ');
    const QString name = QString::fromUtf8(fields[0]);
    if (fields.size() != 3 || MonthKey(name) < 0 || position.files.count(name))
        return false;
    bool ok = false;
    FilePosition at{fields[1].toLongLong(&ok), QByteArray::fromBase64(fields[2])};
    position.files[name] = at;
    return ok && at.number >= 0 && (at.bytes.isEmpty() || at.bytes.size() == DataRecordLength);
}

} // namespace

QByteArray StateText(const PublishState& state) {
    QByteArray text = QByteArray(Header) + "\nutc=";
    if (state.records.utcMs)
        text += QByteArray::number(*state.records.utcMs);
    text += "\nevents=" + EventPositionText(state.events) + "notified=" + EventPositionText(state.notified);
    for (const auto& [name, at] : state.records.files)
        text += name.toUtf8() + ' ' + QByteArray::number(at.number) + ' ' + at.bytes.toBase64() + '\n';
    return text;
}

std::optional<PublishState> ParseState(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (lines.takeLast() != "" || lines.size() < 4 || lines[0] != Header || !lines[1].startsWith("utc="))
        return std::nullopt;
    PublishState state;
    bool ok = true;
    if (lines[1].size() > 4)
        state.records.utcMs = lines[1].mid(4).toLongLong(&ok);
    const std::optional<EventPosition> events = ParseEventPosition(lines[2], "events="),
                                       notified = ParseEventPosition(lines[3], "notified=");
    ok = ok && events && notified;
    for (qsizetype i = 4; ok && i < lines.size(); ++i)
        ok = ParseFileLine(lines[i], state.records);
    if (!ok)
        return std::nullopt;
    state.events = *events;
    state.notified = *notified;
    return state;
}

std::optional<PublishState> LoadState(const QString& path, QString* error) {
    error->clear();
    // The state folder is the service's own: only damage puts a link or a
    // FIFO there, and neither may hold up the start.
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    if (!file && file.error == ENOENT)
        return std::nullopt;
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1: %2; remove it to start again as `start` says")
                     .arg(QDir::toNativeSeparators(path), why);
        return std::nullopt;
    };
    if (!file)
        return fail(file.reason);
    QByteArray text(1 << 20, '\0');
    const qint64 n = ReadAt(file.fd, text.data(), text.size(), 0);
    const int readError = errno;
    ::close(file.fd);
    if (n < 0)
        return fail(qt_error_string(readError));
    text.truncate(n);
    std::optional<PublishState> state = ParseState(text);
    if (!state)
        return fail(QStringLiteral("is not a state file of tarvek-publish"));
    return state;
}

bool SaveState(const QString& path, const PublishState& state, QString* error) {
    ReplaceOptions options;
    options.mode = 0600;
    const QByteArray text = StateText(state);
    const std::optional<ReplaceFailure> failure =
        ReplaceFile(path, options, [&](QFile& file) -> std::optional<QString> {
            if (file.write(text) != text.size() || !file.flush())
                return qt_error_string(errno);
            return std::nullopt;
        });
    if (failure) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(failure->name), failure->reason);
        return false;
    }
    error->clear();
    return true;
}

} // namespace tarvek
