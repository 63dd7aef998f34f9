#include "publish/RecordFeed.h"

#include "common/ReplaceFile.h"
#include "common/SharedFile.h"
#include "data/DataRecord.h"
#include "data/MonthFiles.h"

#include <QDate>
#include <QDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvek {

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A month after next on the system's clock: a wrong clock once, or planted.
bool FarAhead(const QString& name) {
    const QDate today = QDate::currentDate();
    return MonthKey(name) > today.year() * 12 + today.month();
}

} // namespace

void RecordFeed::SeekAfter(const FeedPosition& position) {
    position_ = position;
    for (auto& [name, seen] : seen_)
        seen.atEnd = false;
}

void RecordFeed::Note(const QString& name, const QString& text) {
    notes_ += Native(follower_.PathOf(name)) + QStringLiteral(": ") + text;
}

QStringList RecordFeed::Watched() const {
    return WatchedPaths(Folder(), read_, follower_.Names());
}

RecordFeed::Step RecordFeed::ReadFile(const QString& name, qint64 most, std::vector<FedRecord>& out) {
    Seen& seen = seen_[name];
    QString reason;
    const auto fail = [&](const QString& what) {
        const QString why = what + QStringLiteral(" (") + reason + u')';
        if (why != seen.failure)
            Note(name, why + QStringLiteral("; its records are not sent until it can be read"));
        seen.failure = why;
        return Step::Failed;
    };
    const OpenedFile file = follower_.Open(name);
    if (!file)
        return reason = file.Failure(), fail(QStringLiteral("cannot open"));
    const std::optional<CountedRecords> counted = CountRecords(file.Fd(), file.Stamp().size, &reason);
    if (!counted)
        return fail(QStringLiteral("cannot read"));
    if (!seen.failure.isEmpty())
        Note(name, QStringLiteral("can be read again"));
    seen.failure.clear();
    const qint64 count = counted->count;

    // A file cut below the position, or whose record at the position changed,
    // was replaced: where it first differs is unknown, so all of it goes again.
    FilePosition& at = position_.files[name];
    QString changed;
    if (at.number > count) {
        changed = QStringLiteral("holds %1 records, fewer than the %2 sent").arg(count).arg(at.number);
    } else if (at.number > 0) {
        QByteArray bytes;
        if (!ReadRecords(
                file.Fd(), at.number - 1, 1,
                [&](qint64, const char* b) { bytes = QByteArray(b, DataRecordLength); }, &reason))
            return fail(QStringLiteral("cannot read"));
        if (at.bytes.isEmpty())
            at.bytes = bytes;
        else if (bytes != at.bytes)
            changed = QStringLiteral("record %1 is no longer the one sent").arg(at.number);
    }
    if (!changed.isEmpty()) {
        Note(name, changed + QStringLiteral("; sending the file again from its start"));
        at = {};
        seen.scanned = seen.notData = seen.notDataSaid = 0;
    }
    seen.atEnd = count == at.number;
    if (seen.atEnd)
        return Step::AtEnd;

    const qint64 n = std::min(count - at.number, most);
    FedRecord fed;
    fed.file = name;
    const bool read = ReadRecords(
        file.Fd(), at.number, n,
        [&](qint64 number, const char* bytes) {
            at = {number, QByteArray(bytes, DataRecordLength)};
            const RecordKind kind = ParseDataRecord(bytes, &fed.record);
            if (kind == RecordKind::Data) {
                fed.position = at;
                out.push_back(fed);
            } else if (kind == RecordKind::NotData && number > seen.scanned) {
                ++seen.notData;
                ++notDataTotal_;
            }
            seen.scanned = std::max(seen.scanned, number);
        },
        &reason);
    if (!read)
        return fail(QStringLiteral("cannot read"));
    seen.atEnd = count == at.number;
    if (seen.atEnd && seen.notData != seen.notDataSaid)
        Note(name,
             QStringLiteral("%1 counted records are not data records and were not sent").arg(seen.notData));
    seen.notDataSaid = seen.atEnd ? seen.notData : seen.notDataSaid;
    return Step::Read;
}

bool RecordFeed::Read(qint64 most, std::vector<FedRecord>& out) {
    const std::size_t before = out.size();
    unreadable_.clear();
    read_.clear();
    for (const MonthLook& look : follower_.Step()) {
        const QString& name = look.name;
        if (look.change == FileChange::Added && !seen_.count(name) && FarAhead(name))
            Note(name, QStringLiteral("is dated after next month; its records are sent as stored, "
                                      "and every other month file is still followed"));
        Seen& seen = seen_[name];
        if (look.change == FileChange::Removed)
            seen.atEnd = false;
        const qint64 room = most - qint64(out.size() - before);
        if (room <= 0)
            break;
        if (look.change == FileChange::Removed || (!look.due && seen.atEnd))
            continue;
        switch (ReadFile(name, room, out)) {
        case Step::Failed:
            unreadable_ += name;
            break;
        case Step::Read:
            read_ += name;
            break;
        case Step::AtEnd:
            break;
        }
    }
    return unreadable_.isEmpty();
}

std::optional<FeedPosition>
RecordFeed::Skipping(const std::function<bool(const QString&, const StoredRecord&)>& skip) {
    FeedPosition position;
    StoredRecord record;
    MonthFolderFollower follower(Folder());
    for (const MonthLook& look : follower.Step()) {
        const QString& name = look.name;
        const OpenedFile file = follower.Open(name);
        QString reason;
        const std::optional<CountedRecords> counted =
            file ? CountRecords(file.Fd(), file.Stamp().size, &reason) : std::nullopt;
        if (!counted)
            return std::nullopt;
        FilePosition& at = position.files[name];
        bool passing = true;
        if (!ReadRecords(
                file.Fd(), 0, counted->count,
                [&](qint64 number, const char* bytes) {
                    passing = passing &&
                              (ParseDataRecord(bytes, &record) != RecordKind::Data || skip(name, record));
                    if (passing)
                        at = {number, QByteArray(bytes, DataRecordLength)};
                },
                &reason))
            return std::nullopt;
    }
    return position;
}

std::optional<FeedPosition> StartingPosition(RecordFeed& feed, const StartFrom& start,
                                             std::optional<int> formerKey) {
    if (formerKey)
        return feed.Skipping(
            [&](const QString& name, const StoredRecord&) { return MonthKey(name) < *formerKey; });
    if (start.kind == StartFrom::All)
        return FeedPosition{};
    // In every month file, the place before its first record stored at or
    // after the time (`new`: after its last record).
    return feed.Skipping([&](const QString&, const StoredRecord& r) {
        return start.kind == StartFrom::New || r.localMs < start.localMs;
    });
}

namespace {

// Each log and the records passed in it, on one line.
QByteArray EventPositionText(const EventPosition& at) {
    QByteArray text;
    for (const auto& [log, record] : at.logs)
        text += ' ' + log.toUtf8() + ' ' + QByteArray::number(record);
    return text.mid(1) + '\n';
}

// `line` after `key`: pairs of a log and its records (layout 4), or one log
// and its record, every earlier log passed (layout 3; an empty name stands
// before every log).
std::optional<EventPosition> ParseEventPosition(const QByteArray& line, const QByteArray& key, bool former) {
    if (!line.startsWith(key))
        return std::nullopt;
    const QByteArray rest = line.mid(key.size());
    const QList<QByteArray> fields = rest.isEmpty() && !former ? QList<QByteArray>{} : rest.split(' ');
    EventPosition at;
    if (fields.size() % 2 != 0 || (former && fields.size() != 2))
        return std::nullopt;
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QString log = QString::fromUtf8(fields[i]);
        bool number = false;
        const qint64 record = fields[i + 1].toLongLong(&number);
        const int month = MonthKey(log, MonthFileKind::Events);
        if (!number || record < 0 || (month < 0 && !(former && log.isEmpty())) || at.logs.count(log))
            return std::nullopt;
        if (!log.isEmpty())
            at.logs[log] = record;
        if (former)
            at.passedBefore = month;
    }
    return at;
}

} // namespace

QByteArray PositionText(const FeedPosition& position) {
    QByteArray text = position.events ? "tarvek-publish state 4\nutc=" : "tarvek-publish state 2\nutc=";
    if (position.utcMs)
        text += QByteArray::number(*position.utcMs);
    text += '\n';
    if (position.events)
        text += "events=" + EventPositionText(*position.events) +
                "notified=" + EventPositionText(position.notified.value_or(*position.events));
    for (const auto& [name, at] : position.files)
        text += name.toUtf8() + ' ' + QByteArray::number(at.number) + ' ' + at.bytes.toBase64() + '\n';
    return text;
}

std::optional<FeedPosition> ParsePosition(const QByteArray& text, std::optional<int>* formerKey) {
    QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.takeLast() != "")
        return std::nullopt;
    FeedPosition position;
    bool ok = true;
    const auto filePosition = [&](const QByteArray& number, const QByteArray& bytes) {
        FilePosition at{number.toLongLong(&ok), QByteArray::fromBase64(bytes)};
        ok = ok && at.number >= 0 && (at.bytes.isEmpty() || at.bytes.size() == DataRecordLength);
        return at;
    };
    formerKey->reset();
    if (!lines.isEmpty() && lines.first().startsWith("file=")) {
        // The former state: one file and its record; every earlier month was sent.
        if (lines.size() != 3 || !lines[1].startsWith("record=") || !lines[2].startsWith("bytes="))
            return std::nullopt;
        const QString name = QString::fromUtf8(lines[0].mid(5));
        if (!name.isEmpty()) {
            position.files[name] = filePosition(lines[1].mid(7), lines[2].mid(6));
            *formerKey = MonthKey(name);
            ok = ok && **formerKey >= 0;
        }
        return ok ? std::optional(position) : std::nullopt;
    }
    const bool former = !lines.isEmpty() && lines[0] == "tarvek-publish state 3";
    const bool withEvents = former || (!lines.isEmpty() && lines[0] == "tarvek-publish state 4");
    if (lines.size() < (withEvents ? 4 : 2) || (!withEvents && lines[0] != "tarvek-publish state 2") ||
        !lines[1].startsWith("utc="))
        return std::nullopt;
    if (lines[1].size() > 4)
        position.utcMs = lines[1].mid(4).toLongLong(&ok);
    if (withEvents) {
        position.events = ParseEventPosition(lines[2], "events=", former);
        position.notified = ParseEventPosition(lines[3], "notified=", former);
        ok = ok && position.events && position.notified;
    }
    for (qsizetype i = withEvents ? 4 : 2; ok && i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        const QString name = QString::fromUtf8(fields[0]);
        ok = fields.size() == 3 && MonthKey(name) >= 0 && !position.files.count(name);
        if (ok)
            position.files[name] = filePosition(fields[1], fields[2]);
    }
    return ok ? std::optional(position) : std::nullopt;
}

std::optional<FeedPosition> LoadPosition(const QString& path, QString* error, std::optional<int>* formerKey) {
    error->clear();
    // The state folder is the service's own: only damage puts a link or a
    // FIFO there, and neither may hold up the start.
    const SharedFile file = OpenSharedFile(path, SharedAccess::Read);
    if (!file && file.error == ENOENT)
        return std::nullopt;
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1: %2; remove it to start again as `start` says").arg(Native(path), why);
        return std::nullopt;
    };
    if (!file)
        return fail(file.reason);
    const Descriptor closer{file.fd};
    QByteArray text(1 << 20, '\0');
    const qint64 n = ReadAt(file.fd, text.data(), text.size(), 0);
    if (n < 0)
        return fail(qt_error_string(errno));
    text.truncate(n);
    std::optional<FeedPosition> position = ParsePosition(text, formerKey);
    if (!position)
        return fail(QStringLiteral("is not a state file of tarvek-publish"));
    return position;
}

bool SavePosition(const QString& path, const FeedPosition& position, QString* error) {
    ReplaceOptions options;
    options.mode = 0600;
    const QByteArray text = PositionText(position);
    const std::optional<ReplaceFailure> failure =
        ReplaceFile(path, options, [&](QFile& file) -> std::optional<QString> {
            if (file.write(text) != text.size() || !file.flush())
                return qt_error_string(errno);
            return std::nullopt;
        });
    if (failure) {
        *error = QStringLiteral("%1: %2").arg(Native(failure->name), failure->reason);
        return false;
    }
    error->clear();
    return true;
}

} // namespace tarvek
