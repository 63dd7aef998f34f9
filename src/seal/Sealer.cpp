#include "seal/Sealer.h"

#include "data/StoredTime.h"
#include "seal/RecordDiff.h"
#include "seal/SealChain.h"

#include <limits>

namespace tarvek {

namespace {

QByteArray FileDetail(MonthFileKind kind, int month) {
    return (kind == MonthFileKind::Events ? "E " : "D ") + MonthFileOf(kind, month).toLatin1();
}

// The line kind and detail of a run of records that differ from their seals.
std::pair<LineKind, QByteArray> RunLine(const RecordRun& run, MonthFileKind kind, QByteArrayView now) {
    using K = RecordRun::Kind;
    static const std::map<K, LineKind> kinds{{K::Changed, LineKind::Changed},
                                             {K::Inserted, LineKind::Inserted},
                                             {K::Missing, LineKind::Missing},
                                             {K::Swapped, LineKind::Swapped},
                                             {K::Cut, LineKind::Cut}};
    QByteArray rest = "sealed=" + ZeroPadded(run.sealedAt, 8);
    if (run.kind == K::Changed) {
        const int length = RecordLength(kind);
        rest += " now=" + HexOf(Sha256Of(now.sliced((run.at - 1) * length, run.count * length))).left(32);
    }
    return {kinds.at(run.kind), DetailOf({kind == MonthFileKind::Events, run.at, run.count, rest})};
}

} // namespace

Sealer::Sealer(std::unique_ptr<SealKey> key, int keyMonth, std::vector<MonthSeals> seals, Rules rules)
    : key_(std::move(key)), keyMonth_(keyMonth), rules_(std::move(rules)), toUtc_(rules_.zone) {
    for (MonthSeals& m : seals)
        months_.emplace(m.month, std::move(m));
}

MonthSeals& Sealer::Month(int month, const SealTime& now) {
    MonthSeals& m = months_[month];
    if (m.lines > 0)
        return m;
    m.month = month;
    m.chain = Genesis(month, key_->Public());
    // It goes on from the close of the month before it that has seals.
    QByteArray prev = "prev=none";
    for (auto it = months_.find(month); it != months_.begin();)
        if (const MonthSeals& before = (--it)->second; before.lines > 0) {
            if (before.closeHead)
                prev = "prev=" + HexOf(*before.closeHead);
            break;
        }
    Line(m, LineKind::Open, prev, now);
    // A month the clock has left is closed at once: it never gets a key of its own.
    if (month < keyMonth_)
        Line(m, LineKind::Close, NextKeyDetail(key_->Public(), keyMonth_), now);
    return m;
}

void Sealer::Line(MonthSeals& m, LineKind kind, const QByteArray& detail, const SealTime& now) {
    Digest head = m.chain;
    for (MonthFileKind file : {MonthFileKind::Data, MonthFileKind::Events}) {
        MonthSeals::File& f = m.Of(file);
        const int length = RecordLength(file);
        for (qint64 r = 0; r < f.pending.size() / length; ++r)
            head = RecordStep(head, file, m.month, f.covered + r + 1,
                              QByteArrayView(f.pending).sliced(r * length, length));
        f.covered = f.sealed;
        f.pending.clear();
    }
    SealLine line{kind, m.lines, now, m.month, m.data.sealed, m.events.sealed, head, detail, {}, {}};
    const QByteArray bytes = FormatLine(line, *key_);
    actions_.push_back({SealAction::Kind::WriteLine, m.month, MonthFileKind::Data, bytes, m.lines, nullptr});
    m.chain = LineStep(head, SignedPart(bytes));
    ++m.lines;
    m.lastLine = now;
    m.lastKey = KeyId(key_->Public());
    if (kind == LineKind::Close)
        m.closed = true, m.closeHead = head;
}

void Sealer::Finding(MonthSeals& m, MonthFileKind file, LineKind kind, const QByteArray& detail,
                     std::set<QByteArray>& standing, const SealTime& now) {
    const QByteArray key = KindName(kind) + (' ' + detail);
    if (!m.Of(file).standing.contains(key))
        Line(m, kind, detail, now);
    standing.insert(key);
}

void Sealer::Start(const SealTime& now, const QByteArray& lostKey) {
    Clock(now);
    CloseBehind(lostKey, now);
    Line(Month(keyMonth_, now), LineKind::Start, lostKey.isEmpty() ? QByteArray() : "lost=" + lostKey, now);
}

// Months the clock has left that were not closed: their key was lost with
// the sealer's, so the new one says so and closes them.
void Sealer::CloseBehind(const QByteArray& lostKey, const SealTime& now) {
    const QByteArray detail = NextKeyDetail(key_->Public(), keyMonth_);
    for (auto& [month, m] : months_)
        if (month < keyMonth_ && m.lines > 0 && !m.closed) {
            if (m.lastKey != KeyId(key_->Public()))
                Line(m, LineKind::Start, "lost=" + (lostKey.isEmpty() ? m.lastKey : lostKey), now);
            Line(m, LineKind::Close, detail, now);
        }
}

void Sealer::Stop(const SealTime& now) {
    Clock(now);
    for (auto& [month, m] : months_)
        if (month != keyMonth_ && (!m.data.pending.isEmpty() || !m.events.pending.isEmpty()))
            Line(m, LineKind::Periodic, {}, now);
    Line(Month(keyMonth_, now), LineKind::Stop, {}, now);
}

void Sealer::Tick(const SealTime& now) {
    Clock(now);
    Month(keyMonth_, now);
    for (auto& [month, m] : months_) {
        const bool due = m.lastLine.bootId != now.bootId || now.bootMs - m.lastLine.bootMs >= rules_.periodMs;
        if (due && (month == keyMonth_ || !m.data.pending.isEmpty() || !m.events.pending.isEmpty()))
            Line(m, LineKind::Periodic, {}, now);
    }
}

void Sealer::Clock(const SealTime& now) {
    if (lastTime_ && lastTime_->bootId == now.bootId) {
        const qint64 step = (now.utcMs - lastTime_->utcMs) - (now.bootMs - lastTime_->bootMs);
        if (std::abs(step) > rules_.clockStepMs)
            Line(Month(keyMonth_, now), LineKind::ClockStep,
                 "step=" + QByteArray(step < 0 ? "-" : "+") + ZeroPadded(std::abs(step), 13) + "ms", now);
    }
    lastTime_ = now;
    if (const int month = LocalMonthOf(now); month > keyMonth_)
        Rotate(month, now);
}

// A new key for `month`: every open month's seals name it, signed by the old
// key, which is then wiped; the months the clock left are closed.
void Sealer::Rotate(int month, const SealTime& now) {
    auto next = std::make_unique<SealKey>(SealKey::Generate());
    actions_.push_back({SealAction::Kind::StoreNextKey, month, MonthFileKind::Data, {}, 0, next.get()});
    const QByteArray detail = NextKeyDetail(next->Public(), month);
    for (auto& [m, seals] : months_)
        if (seals.lines > 0 && !seals.closed)
            Line(seals, m < month ? LineKind::Close : LineKind::Key, detail, now);
    key_ = std::move(next);
    keyMonth_ = month;
    Month(month, now);
    actions_.push_back({SealAction::Kind::CommitKey, month, MonthFileKind::Data, {}, 0, nullptr});
}

void Sealer::Seen(const MonthFileNews& news, QByteArrayView sealed, const SealTime& now) {
    Clock(now);
    const auto known = months_.find(news.month);
    if (!news.exists && (known == months_.end() || known->second.Of(news.kind).sealed == 0))
        return;
    MonthSeals& m = Month(news.month, now);
    MonthSeals::File& f = m.Of(news.kind);
    if (!news.exists) {
        if (f.present || !f.followed)
            Line(m, LineKind::Removed, FileDetail(news.kind, news.month), now);
        f.present = false, f.followed = true;
        return;
    }
    if (news.replaced && f.followed)
        Line(m, LineKind::Replaced, FileDetail(news.kind, news.month), now);
    f.present = true;
    ReportRuns(m, news.kind, sealed, news, now);
}

void Sealer::ReportRuns(MonthSeals& m, MonthFileKind kind, QByteArrayView sealed, const MonthFileNews& news,
                        const SealTime& now) {
    const RecordDiff diff = CompareRecords(sealed, news.records, RecordLength(kind));
    std::set<QByteArray> standing;
    for (const RecordRun& run : diff.runs) {
        const auto [line, detail] = RunLine(run, kind, news.records);
        Finding(m, kind, line, detail, standing, now);
    }
    m.Of(kind).standing = std::move(standing);
    TakeNew(m, kind, news.records, diff.newFrom, now);
}

void Sealer::TakeNew(MonthSeals& m, MonthFileKind kind, QByteArrayView records, qint64 from,
                     const SealTime& now) {
    MonthSeals::File& f = m.Of(kind);
    const bool followed = f.followed || caughtUp_;
    f.followed = true;
    const int length = RecordLength(kind);
    const qint64 n = records.size() / length - from;
    if (n <= 0)
        return;
    const QByteArrayView bytes = records.sliced(from * length, n * length);
    f.sealed += n;
    actions_.push_back(
        {SealAction::Kind::AppendSealed, m.month, kind, bytes.toByteArray(), f.sealed, nullptr});
    f.pending += bytes;
    const qint64 lines = m.lines;
    if (!f.lastUtc && !f.last.isEmpty())
        if (const auto stamp = RecordStampMs(kind, f.last))
            f.lastUtc = toUtc_.ToUtcAfter(*stamp, std::numeric_limits<qint64>::min());
    for (qint64 r = 0; r < n; ++r) {
        const QByteArrayView record = bytes.sliced(r * length, length);
        const std::optional<qint64> stamp = RecordStampMs(kind, record);
        if (!stamp)
            continue;
        const qint64 utc = toUtc_.ToUtcAfter(*stamp, f.lastUtc.value_or(std::numeric_limits<qint64>::min()));
        const char* why = f.lastUtc && utc < *f.lastUtc                      ? "order"
                          : followed && utc < now.utcMs - rules_.backdatedMs ? "late"
                                                                             : nullptr;
        if (why)
            Line(m, LineKind::Backdated,
                 DetailOf({kind == MonthFileKind::Events, from + r + 1, 1,
                           "stamp=" + StoredTimeText(*stamp) + ' ' + why}),
                 now);
        f.lastUtc = std::max(utc, f.lastUtc.value_or(utc));
    }
    f.last = bytes.sliced((n - 1) * length).toByteArray();
    if (m.lines == lines && (kind == MonthFileKind::Events || !followed))
        Line(m, kind == MonthFileKind::Events ? LineKind::Event : LineKind::Periodic, {}, now);
}

} // namespace tarvek
