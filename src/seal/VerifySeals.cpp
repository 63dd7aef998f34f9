#include "seal/Verify.h"

#include "data/StoredTime.h"
#include "seal/SealChain.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace tarvek {

namespace {

using Severity = Finding::Severity;

void Add(MonthReport& r, Severity severity, const char* what, const QString& file, const QString& text) {
    Finding f;
    f.severity = severity, f.what = what, f.file = file, f.text = text;
    r.findings.push_back(std::move(f));
}

QString Id(QByteArrayView id) {
    return QString::fromLatin1(id.toByteArray());
}

QString Minutes(qint64 ms) {
    return QStringLiteral("%1 min %2 s").arg(ms / 60'000).arg(ms / 1000 % 60);
}

// Whether each line's signature holds with the key it names (none: no key),
// checked on every core: the signatures are most of what verify does.
std::vector<char> SignaturesHold(const std::vector<std::optional<SealLine>>& lines,
                                 const std::vector<const KnownKey*>& keys, QByteArrayView bytes) {
    std::vector<char> holds(lines.size(), 0);
    const auto check = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < lines.size(); i += step)
            holds[i] = lines[i] && keys[i] &&
                       SignatureHolds(keys[i]->key, SignedPart(bytes.sliced(qsizetype(i) * SealLineLength)),
                                      lines[i]->signature);
    };
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 16);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads && lines.size() > 256; ++t)
        helpers.emplace_back(check, t, threads);
    check(0, helpers.size() + 1);
    for (std::thread& h : helpers)
        h.join();
    return holds;
}

// Each line's layout, key, signature, month and number; those that pass.
std::vector<CheckedLine> ReadLines(const MonthBytes& f, const VerifyContext& c, MonthReport& r) {
    const QString name = SealFileOf(f.month);
    const QByteArray& bytes = *f.seals;
    r.lines = (bytes.size() + SealLineLength - 1) / SealLineLength;
    std::vector<std::optional<SealLine>> parsed(std::size_t(r.lines));
    std::vector<const KnownKey*> keys(std::size_t(r.lines), nullptr);
    for (qint64 i = 0; i < r.lines; ++i)
        if ((parsed[i] = ParseLine(
                 QByteArrayView(bytes)
                     .sliced(i * SealLineLength)
                     .first(std::min<qsizetype>(SealLineLength, bytes.size() - i * SealLineLength)))))
            keys[i] = c.keys->Find(parsed[i]->keyId);
    const std::vector<char> holds = SignaturesHold(parsed, keys, bytes);
    std::vector<CheckedLine> lines;
    qint64 expected = 0;
    for (qint64 i = 0; i < r.lines; ++i) {
        const std::optional<SealLine>& line = parsed[i];
        const QString at = QStringLiteral("line %1").arg(i);
        const qint64 next = expected++; // a line that fails below still takes its number
        // A line the sealer completed after a crash, a Start after it; or one cut off now.
        const bool torn = bytes.size() < (i + 1) * SealLineLength ||
                          (bytes.sliced(i * SealLineLength).startsWith(TornLine().left(20)) &&
                           i + 1 < r.lines && parsed[i + 1] && parsed[i + 1]->kind == LineKind::Start);
        if (!line)
            Add(r, torn ? Severity::Warn : Severity::Fail, torn ? "seal-torn" : "seal-edited", name,
                at + (torn ? QStringLiteral(" was cut off (a crash or a power cut while the sealer wrote it)")
                           : QStringLiteral(" cannot be read: it was edited")));
        else if (!keys[i])
            Add(r, Severity::Fail, "foreign-key", name,
                at + QStringLiteral(" is signed by key %1, which keys.txt does not list and no line names")
                         .arg(Id(line->keyId)));
        else if (!holds[i] || line->month != f.month)
            Add(r, Severity::Fail, "seal-edited", name,
                at + (holds[i] ? QStringLiteral(" seals another month: it was moved here")
                               : QStringLiteral(" does not hold its signature: it was edited")));
        if (!line || !keys[i] || !holds[i] || line->month != f.month)
            continue;
        if (line->sequence != next)
            Add(r, Severity::Fail, "seal-missing", name,
                line->sequence > next
                    ? QStringLiteral("lines %1 to %2 are missing (removed)").arg(next).arg(line->sequence - 1)
                    : at + QStringLiteral(" repeats line %1: lines were put back out of order")
                               .arg(line->sequence));
        expected = line->sequence + 1;
        lines.push_back({i, *line, QByteArrayView(bytes).sliced(i * SealLineLength, SealLineLength)});
    }
    return lines;
}

// Each line signed by the key of its period: the month's own key, the one a
// Close or Key line hands over to, a later key after the month's Close, or a
// new key at a Start (a discontinuity).
void CheckKeys(const std::vector<CheckedLine>& lines, int month, const VerifyContext& c, MonthReport& r) {
    const QString name = SealFileOf(month);
    const KnownKey* current = c.keys->Find(lines.front().line.keyId);
    if (const KnownKey* due = c.keys->ForPeriod(month);
        due && due != current && lines.front().line.kind == LineKind::Open)
        Add(r, Severity::Fail, "key-period", name,
            QStringLiteral("the month opens with key %1, but %2 named key %3 for it")
                .arg(Id(current->id), due->endorsedBy, Id(due->id)));
    if (!c.keys->InChain(*current))
        Add(r, Severity::Fail, "key-discontinuity", name,
            QStringLiteral(
                "key %1 opens the month, though no Close line names it and it is not the first key: "
                "check the enrolment record")
                .arg(Id(current->id)));
    std::optional<QByteArray> handed;
    bool closed = false;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        const SealLine &before = lines[k - 1].line, &l = lines[k].line;
        if (before.kind == LineKind::Close || before.kind == LineKind::Key)
            if (const auto next = NextKeyOf(before.detail))
                handed = KeyId(next->first);
        closed = closed || before.kind == LineKind::Close;
        const KnownKey* key = c.keys->Find(l.keyId);
        if (key == current)
            continue;
        const bool later = closed && c.keys->InChain(*key) && key->Period() > current->Period();
        if (!(handed && *handed == key->id) && !later)
            Add(r, Severity::Fail,
                l.kind == LineKind::Start && !c.keys->InChain(*key) ? "key-discontinuity" : "key-period",
                name,
                QStringLiteral(
                    "line %1 is signed by key %2 in place of %3 without a Close or Key line naming it%4")
                    .arg(lines[k].index)
                    .arg(Id(key->id), Id(current->id),
                         l.kind == LineKind::Start
                             ? QStringLiteral(" (the key was lost?): check the enrolment record")
                             : QString()));
        current = key;
    }
}

// The heads again from the sealed copies: each line's must be the chain's.
void CheckChain(const std::vector<CheckedLine>& lines, const MonthBytes& f, const VerifyContext& c,
                MonthReport& r) {
    const QString name = SealFileOf(f.month);
    const QByteArray data =
        f.sealedData ? f.sealedData->mid(RecordLength(MonthFileKind::Data)) : QByteArray();
    const QByteArray events = f.sealedEvents.value_or(QByteArray());
    const qint64 haveData = data.size() / 160, haveEvents = events.size() / 160;
    std::optional<Digest> head;
    qint64 d = 0, e = 0, sequence = -1;
    for (const CheckedLine& cl : lines) {
        const SealLine& l = cl.line;
        if (l.kind == LineKind::Open && cl.index == 0)
            head = Genesis(f.month, c.keys->Find(l.keyId)->key);
        const auto follows = [&](const Digest& h) { return l.detail == "prev=" + HexOf(h); };
        if (l.kind == LineKind::Open && l.detail != "prev=none" &&
            std::none_of(c.closesBefore.begin(), c.closesBefore.end(), follows))
            Add(r, Severity::Fail, "chain-broken", name,
                QStringLiteral("the month does not go on from the close of a month before it"));
        if (l.sequence != sequence + 1)
            head.reset(); // a line between is gone or edited: its step cannot be taken
        if (l.dataRecords > haveData || l.eventRecords > haveEvents || l.dataRecords < d ||
            l.eventRecords < e) {
            Add(r, Severity::Fail, "sealed-copy-short", name,
                QStringLiteral("line %1 names %2 data and %3 event records; the sealed copies hold %4 and %5")
                    .arg(cl.index)
                    .arg(l.dataRecords)
                    .arg(l.eventRecords)
                    .arg(haveData)
                    .arg(haveEvents));
            head.reset();
        } else if (head) {
            for (; d < l.dataRecords; ++d)
                head = RecordStep(*head, MonthFileKind::Data, f.month, d + 1, data.sliced(d * 160, 160));
            for (; e < l.eventRecords; ++e)
                head = RecordStep(*head, MonthFileKind::Events, f.month, e + 1, events.sliced(e * 160, 160));
            if (*head != l.head)
                Add(r, Severity::Fail, "sealed-copy-edited", name,
                    QStringLiteral("the sealed copies do not give the head line %1 signed: they were changed")
                        .arg(cl.index));
        }
        d = l.dataRecords, e = l.eventRecords, sequence = l.sequence;
        head = LineStep(l.head, SignedPart(cl.bytes));
        if (l.kind == LineKind::Close)
            r.closeHead = l.head;
    }
}

// Gaps without a Stop, and what the clocks did.
void CheckTimes(const std::vector<CheckedLine>& lines, int month, const VerifyContext& c, MonthReport& r) {
    const QString name = SealFileOf(month);
    bool closed = false;
    qint64 synced = 0;
    const CheckedLine* unsynced = nullptr;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const CheckedLine& b = lines[k];
        synced += b.line.time.synced;
        if (b.line.kind == LineKind::ClockStep)
            Add(r, Severity::Note, "clock-step", name,
                QStringLiteral("the clock stepped by %1 ms at %2")
                    .arg(QString::fromLatin1(b.line.detail.mid(5)), LineText(b)));
        if (!b.line.time.synced && !unsynced)
            unsynced = &b;
        if (unsynced && (b.line.time.synced || k + 1 == lines.size())) {
            Add(r, Severity::Note, "unsynchronised", name,
                QStringLiteral("the clock was not synchronised from %1 to %2")
                    .arg(LineText(*unsynced), LineText(b)));
            unsynced = nullptr;
        }
        if (k == 0)
            continue;
        const CheckedLine& a = lines[k - 1];
        closed = closed || a.line.kind == LineKind::Close;
        const bool sameBoot = a.line.time.bootId == b.line.time.bootId;
        const qint64 boot = b.line.time.bootMs - a.line.time.bootMs,
                     wall = b.line.time.utcMs - a.line.time.utcMs;
        // A month's Open line and the Start written with it are one start.
        const bool opening = a.line.kind == LineKind::Open && sameBoot && boot == 0;
        const bool unstopped = !closed && a.line.kind != LineKind::Stop && !opening;
        if (unstopped && LocalMonthOf(a.line.time) == month && (sameBoot ? boot : wall) > c.gapMs)
            Add(r, Severity::Warn, "gap", name,
                QStringLiteral("no line for %1 from %2 to %3, and no Stop: %4")
                    .arg(Minutes(sameBoot ? boot : wall), LineText(a), LineText(b),
                         b.line.kind == LineKind::Start
                             ? QStringLiteral("the sealer ended without one (a crash, a kill, a power cut)")
                             : QStringLiteral("lines were removed, or the sealer stood still")));
        else if (unstopped && b.line.kind == LineKind::Start)
            Add(r, Severity::Note, "restart", name,
                QStringLiteral("the sealer ended without a Stop after %1 (a crash, a kill, a power cut) and "
                               "started again at %2: what was stored meanwhile it sealed then")
                    .arg(LineText(a), LineText(b)));
        if (sameBoot && b.line.kind != LineKind::ClockStep &&
            std::abs(wall - boot) > std::max<qint64>(2000, boot / 2000))
            Add(r, Severity::Note, "clock-step", name,
                QStringLiteral("the clock moved %1 ms against the boot clock from %2 to %3")
                    .arg(wall - boot)
                    .arg(LineText(a), LineText(b)));
    }
    r.syncedPercent = lines.empty() ? 0 : int(100 * synced / qint64(lines.size()));
    const SealLine& last = lines.back().line;
    r.lastLine = QString::fromLatin1(StoredTimeText(last.time.utcMs)) + u'Z';
    SealTime now = last.time;
    now.utcMs = c.nowUtcMs;
    if (!closed && last.kind != LineKind::Close && last.kind != LineKind::Stop &&
        LocalMonthOf(now) == month && c.nowUtcMs - last.time.utcMs > c.gapMs)
        Add(r, Severity::Warn, "gap", name,
            QStringLiteral("the seals end at %1 without a Stop: is the sealer running?")
                .arg(LineText(lines.back())));
}

// What a witness holds that the machine does not: a line it lacks, or one
// that differs (a fork).
void CheckWitness(const std::vector<CheckedLine>& lines, const MonthBytes& f, const VerifyContext& c,
                  MonthReport& r) {
    const QString name = SealFileOf(f.month);
    for (QByteArray w : c.witness) {
        if (w.endsWith('\r'))
            w.chop(1);
        if (w.size() == SealLineLength - 1)
            w += '\n';
        const std::optional<SealLine> held = ParseLine(w);
        if (!held || held->month != f.month)
            continue; // not a line of this month's seals
        const KnownKey* key = c.keys->Find(held->keyId);
        if (!key || !SignatureHolds(key->key, SignedPart(w), held->signature)) {
            Add(r, key ? Severity::Note : Severity::Fail, key ? "witness-unsigned" : "witness-key", name,
                key ? QStringLiteral("the witness's line %1 does not hold its signature: it proves nothing")
                          .arg(held->sequence)
                    : QStringLiteral(
                          "the witness holds line %1 signed by key %2, which the machine's keys do not "
                          "list: its keys and seals were replaced")
                          .arg(held->sequence)
                          .arg(Id(held->keyId)));
            continue;
        }
        const auto mine = std::find_if(lines.begin(), lines.end(), [&](const CheckedLine& l) {
            return l.line.sequence == held->sequence;
        });
        if (mine != lines.end() && mine->bytes == QByteArrayView(w))
            continue;
        Add(r, Severity::Fail, mine == lines.end() ? "witness-only" : "fork", name,
            QStringLiteral("the witness holds line %1 of %2Z with head %3; %4")
                .arg(held->sequence)
                .arg(QString::fromLatin1(StoredTimeText(held->time.utcMs)), Id(HexOf(held->head).left(16)),
                     mine == lines.end()
                         ? QStringLiteral("the machine does not (a missing head)")
                         : QStringLiteral("the machine's line has head %1: the seals were rewritten")
                               .arg(Id(HexOf(mine->line.head).left(16)))));
    }
}

} // namespace

QString LineText(const CheckedLine& line) {
    return QStringLiteral("%1.%2Z (line %3)")
        .arg(QString::fromLatin1(StoredTimeText(FloorDiv(line.line.time.utcMs, 1000) * 1000)))
        .arg(line.line.time.utcMs % 1000, 3, 10, QChar(u'0'))
        .arg(line.index);
}

std::vector<CheckedLine> CheckSeals(const MonthBytes& f, const VerifyContext& c, MonthReport& r) {
    std::vector<CheckedLine> lines = ReadLines(f, c, r);
    if (lines.empty())
        return lines;
    CheckKeys(lines, f.month, c, r);
    CheckChain(lines, f, c, r);
    CheckTimes(lines, f.month, c, r);
    CheckWitness(lines, f, c, r);
    return lines;
}

} // namespace tarvek
