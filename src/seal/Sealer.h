#pragma once

#include "data/MonthFiles.h"
#include "data/StoredTimeToUtc.h"
#include "seal/SealLine.h"

#include <QTimeZone>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tarvek {

// What a follower of the data folder reports of one month file whose stamp
// changed (every file at the first look).
struct MonthFileNews {
    MonthFileKind kind = MonthFileKind::Data;
    int month = 0;
    bool exists = true;    // false: gone, or no regular file stands there
    bool replaced = false; // another file than at the last look stands under the name
    QByteArray records;    // its whole records now, a data file's without its count record
};

// What the sealer asks its shell to do, in this order: each step on the disk
// (synced) before the next.
struct SealAction {
    enum class Kind {
        AppendSealed, // `bytes` after the records of the sealed copy; it then holds `at` records
        StoreNextKey, // keep `key` (for month `month`) until CommitKey
        WriteLine,    // `bytes` as line `at` of the month's seals
        CommitKey,    // wipe the old key: the next one takes its place
    };
    Kind kind;
    int month = 0;
    MonthFileKind file = MonthFileKind::Data;
    QByteArray bytes;
    qint64 at = 0;
    const SealKey* key = nullptr; // valid until the next call of the sealer
};

// What the seals of one month hold, as the sealer goes on from them.
struct MonthSeals {
    struct File {
        qint64 sealed = 0;             // records in the sealed copy
        qint64 covered = 0;            // of them, those a line covers
        QByteArray pending;            // the records after the covered ones, not yet in a line
        QByteArray last;               // the last sealed record: a new one must not be stamped before it
        std::optional<qint64> lastUtc; // its time placed in UTC
        bool present = false;
        bool followed = false;         // looked at since the sealer started
        std::set<QByteArray> standing; // the findings already reported, by their details
    };
    int month = 0;
    qint64 lines = 0; // the number of the next line
    Digest chain{};   // after the last line
    bool closed = false;
    std::optional<Digest> closeHead; // its Close line's head
    SealTime lastLine;               // when its last line was written
    QByteArray lastKey;              // the id of the key that signed it
    File data, events;
    File& Of(MonthFileKind kind) { return kind == MonthFileKind::Data ? data : events; }
};

// The sealer's rules, without I/O: fed with what the follower reports and the
// time, it answers with what to append to the sealed copies and which lines
// to write. A month's seals get a line at most five minutes after the one
// before (always while the month is the clock's), at every event record, at
// the sealer's start and stop, at the month's close, and a finding line at
// once for everything seen happen to the files or the clock.
class Sealer {
  public:
    struct Rules {
        qint64 periodMs = 5 * 60'000; // the longest time between two lines
        qint64 backdatedMs = 120'000; // a record stamped this long before it was first seen
        qint64 clockStepMs = 1'000;   // the wall clock against the boot clock
        QTimeZone zone = QTimeZone::systemTimeZone();
    };
    // `key` is the key of `keyMonth`; `seals` what the seals hold.
    Sealer(std::unique_ptr<SealKey> key, int keyMonth, std::vector<MonthSeals> seals, Rules rules);
    Sealer(std::unique_ptr<SealKey> key, int keyMonth, std::vector<MonthSeals> seals)
        : Sealer(std::move(key), keyMonth, std::move(seals), Rules()) {}

    // The Start line; `lostKey` the id of the key the seals were signed with
    // when this one was made in its place.
    void Start(const SealTime& now, const QByteArray& lostKey = {});
    // One month file as it is now, against its sealed copy's records.
    void Seen(const MonthFileNews& news, QByteArrayView sealed, const SealTime& now);
    // Time passing: a clock step, a month's close, the lines due.
    void Tick(const SealTime& now);
    void Stop(const SealTime& now);
    // The files the first look found are caught up with: from now on every
    // record is first seen as it comes, and one stamped long before is back-dated.
    void CaughtUp() { caughtUp_ = true; }

    std::vector<SealAction> TakeActions() { return std::exchange(actions_, {}); }
    const SealKey& Key() const { return *key_; }
    int KeyMonth() const { return keyMonth_; }
    const std::map<int, MonthSeals>& Months() const { return months_; }

  private:
    MonthSeals& Month(int month, const SealTime& now);
    void Line(MonthSeals& m, LineKind kind, const QByteArray& detail, const SealTime& now);
    void Finding(MonthSeals& m, MonthFileKind file, LineKind kind, const QByteArray& detail,
                 std::set<QByteArray>& standing, const SealTime& now);
    void Clock(const SealTime& now);
    void CloseBehind(const QByteArray& lostKey, const SealTime& now);
    void Rotate(int month, const SealTime& now);
    void ReportRuns(MonthSeals& m, MonthFileKind kind, QByteArrayView sealed, const MonthFileNews& news,
                    const SealTime& now);
    void TakeNew(MonthSeals& m, MonthFileKind kind, QByteArrayView records, qint64 from, const SealTime& now);

    std::unique_ptr<SealKey> key_;
    int keyMonth_;
    std::map<int, MonthSeals> months_;
    Rules rules_;
    StoredTimeToUtc toUtc_;
    std::optional<SealTime> lastTime_;
    bool caughtUp_ = false;
    std::vector<SealAction> actions_;
};

} // namespace tarvek
