#include "publish/RecordFeed.h"

#include "data/DataRecord.h"
#include "data/MonthFiles.h"

#include <QDate>
#include <QDir>

namespace tarvek {

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A month after next on the system's clock: a wrong clock once, or planted.
bool FarAhead(const QString& name) {
    const QDate today = QDate::currentDate();
    return MonthKey(name) > today.year() * 12 + today.month();
}

} // namespace

void RecordFeed::SeekAfter(const RecordPosition& position) {
    position_ = position;
    for (auto& [name, seen] : seen_)
        seen.atEnd = false;
}

void RecordFeed::Note(const QString& name, const QString& text) {
    notes_ += Native(follower_.PathOf(name)) + QStringLiteral(": ") + text;
}

QStringList RecordFeed::Watched() const {
    return follower_.Watched(read_);
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
        seen.notDataRecords = seen.notDataUpTo = seen.notDataNoted = 0;
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
            } else if (kind == RecordKind::NotData && number > seen.notDataUpTo) {
                ++seen.notDataRecords;
                ++notDataTotal_;
            }
            seen.notDataUpTo = std::max(seen.notDataUpTo, number);
        },
        &reason);
    if (!read)
        return fail(QStringLiteral("cannot read"));
    seen.atEnd = count == at.number;
    if (seen.atEnd && seen.notDataRecords != seen.notDataNoted)
        Note(name, QStringLiteral("%1 counted records are not data records and were not sent")
                       .arg(seen.notDataRecords));
    seen.notDataNoted = seen.atEnd ? seen.notDataRecords : seen.notDataNoted;
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

std::optional<RecordPosition>
RecordFeed::Skipping(const std::function<bool(const QString&, const StoredRecord&)>& skip) {
    RecordPosition position;
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

std::optional<RecordPosition> StartingPosition(const QString& folder, const StartFrom& start) {
    if (start.kind == StartFrom::All)
        return RecordPosition{};
    // In every month file, the place before its first record stored at or
    // after the time (`new`: after its last record).
    return RecordFeed(folder).Skipping([&](const QString&, const StoredRecord& r) {
        return start.kind == StartFrom::New || r.localMs < start.localMs;
    });
}

} // namespace tarvek
