#include "seal/Verify.h"

#include "data/DataRecord.h"
#include "data/StoredTime.h"
#include "data/StoredTimeToUtc.h"
#include "seal/RecordDiff.h"
#include "seal/SealChain.h"

#include <limits>

namespace tarvek {

namespace {

using Severity = Finding::Severity;
using Run = RecordRun::Kind;

// A finding line of the sealer about records of one file, and the line before it.
struct Seen {
    const CheckedLine* line;
    const CheckedLine* before;
    RecordRef ref;
};

std::vector<Seen> SealerSaw(const std::vector<CheckedLine>& lines, MonthFileKind kind) {
    std::vector<Seen> seen;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const LineKind l = lines[k].line.kind;
        if (l < LineKind::Changed || l > LineKind::Cut)
            continue;
        if (const auto ref = RecordRefOf(lines[k].line.detail);
            ref && ref->events == (kind == MonthFileKind::Events))
            seen.push_back({&lines[k], k > 0 ? &lines[k - 1] : nullptr, *ref});
    }
    return seen;
}

QString Latin1(QByteArrayView bytes) {
    return QString::fromLatin1(bytes.toByteArray());
}

QString StampText(MonthFileKind kind, QByteArrayView record) {
    const auto stamp = RecordStampMs(kind, record);
    return stamp ? Latin1(StoredTimeText(*stamp)) : QString();
}

// Where two records differ, "bytes 31-37", and what each holds there.
void Differing(QByteArrayView sealed, QByteArrayView now, Finding& f) {
    qsizetype a = 0, b = sealed.size() - 1;
    while (a < b && sealed[a] == now[a])
        ++a;
    while (b > a && sealed[b] == now[b])
        --b;
    f.sealed = Latin1(sealed.sliced(a, b - a + 1)), f.now = Latin1(now.sliced(a, b - a + 1));
    f.text += QStringLiteral(" (bytes %1-%2)").arg(a + 1).arg(b + 1);
}

struct FileView {
    MonthFileKind kind;
    QString name;
    QByteArrayView sealed, now;
    QByteArrayView Sealed(qint64 n) const { return sealed.sliced((n - 1) * 160, 160); }
    QByteArrayView Now(qint64 n) const { return now.sliced((n - 1) * 160, 160); }
};

Finding RunFinding(const RecordRun& run, const FileView& v) {
    Finding f;
    f.file = v.name, f.record = run.at, f.count = run.count;
    const QString more =
        run.count > 1 ? QStringLiteral(" and the %1 after it").arg(run.count - 1) : QString();
    switch (run.kind) {
    case Run::Changed:
        f.what = "changed", f.time = StampText(v.kind, v.Sealed(run.sealedAt));
        f.text = QStringLiteral("record %1%2 holds other bytes than sealed").arg(run.at).arg(more);
        Differing(v.Sealed(run.sealedAt), v.Now(run.at), f);
        break;
    case Run::Inserted:
        f.what = "inserted", f.time = StampText(v.kind, v.Now(run.at)), f.now = Latin1(v.Now(run.at));
        f.text = QStringLiteral("record %1%2 was put in before sealed record %3")
                     .arg(run.at)
                     .arg(more)
                     .arg(run.sealedAt);
        break;
    case Run::Missing:
    case Run::Cut:
        f.what = run.kind == Run::Cut ? "cut" : "missing", f.time = StampText(v.kind, v.Sealed(run.sealedAt));
        f.sealed = Latin1(v.Sealed(run.sealedAt));
        f.text =
            QStringLiteral("sealed records %1 to %2 are gone from the file%3 (the sealed copy keeps them)")
                .arg(run.sealedAt)
                .arg(run.sealedAt + run.count - 1)
                .arg(run.kind == Run::Cut ? QStringLiteral(", which ends after record %1").arg(run.at - 1)
                                          : QString());
        break;
    case Run::Swapped:
        f.what = "swapped", f.time = StampText(v.kind, v.Sealed(run.sealedAt));
        f.text = QStringLiteral("record %1 holds sealed record %2: records traded places")
                     .arg(run.at)
                     .arg(run.sealedAt);
        Differing(v.Sealed(run.at), v.Now(run.at), f);
        break;
    }
    return f;
}

bool Covers(const RecordRef& ref, qint64 record) {
    return ref.record <= record && record < ref.record + std::max<qint64>(ref.count, 1);
}

// When the sealer first saw it, and the last line before.
void SeenWhen(Finding& f, const std::vector<Seen>& seen, const std::vector<CheckedLine>& lines) {
    for (const Seen& s : seen)
        if (Covers(s.ref, f.record)) {
            f.firstSeen = LineText(*s.line);
            f.lastGood = s.before ? LineText(*s.before) : QStringLiteral("none");
            return;
        }
    f.firstSeen = QStringLiteral("not seen by the sealer");
    if (!lines.empty())
        f.lastGood = LineText(lines.back());
}

// Records after the last sealed one: stamped before it, and how many.
void CheckUnsealed(const FileView& v, qint64 from, const std::vector<CheckedLine>& lines,
                   const VerifyContext& c, MonthReport& r) {
    const qint64 count = v.now.size() / 160;
    if (from >= count)
        return;
    StoredTimeToUtc toUtc(c.zone);
    std::optional<qint64> before;
    if (const auto stamp = v.sealed.isEmpty() ? std::nullopt : RecordStampMs(v.kind, v.sealed.last(160)))
        before = toUtc.ToUtc(*stamp);
    for (qint64 n = from + 1; n <= count; ++n)
        if (const auto stamp = RecordStampMs(v.kind, v.Now(n))) {
            const qint64 utc = toUtc.ToUtcAfter(*stamp, before.value_or(std::numeric_limits<qint64>::min()));
            if (before && utc < *before)
                r.findings.push_back(
                    {Severity::Fail,
                     "backdated",
                     v.name,
                     n,
                     1,
                     Latin1(StoredTimeText(*stamp)),
                     {},
                     Latin1(v.Now(n)),
                     {},
                     {},
                     QStringLiteral("record %1, never sealed, is stamped before the record before it")
                         .arg(n)});
            before = std::max(utc, before.value_or(utc));
        }
    const bool running = !lines.empty() && c.nowUtcMs - lines.back().line.time.utcMs <= c.gapMs;
    r.findings.push_back({running ? Severity::Note : Severity::Warn,
                          "not-sealed",
                          v.name,
                          from + 1,
                          count - from,
                          {},
                          {},
                          {},
                          {},
                          {},
                          QStringLiteral("%1 records from record %2 on were not sealed%3")
                              .arg(count - from)
                              .arg(from + 1)
                              .arg(running ? QStringLiteral(" yet") : QString())});
}

void CheckFile(MonthFileKind kind, const std::optional<QByteArray>& file,
               const std::optional<QByteArray>& copy, const std::vector<CheckedLine>& lines,
               const VerifyContext& c, MonthReport& r, int month) {
    const bool data = kind == MonthFileKind::Data;
    const qsizetype skip = data ? 160 : 0;
    const auto records = [&](const QByteArray& bytes) {
        const qsizetype n = std::max<qsizetype>(bytes.size() - skip, 0) / 160;
        return QByteArrayView(bytes).sliced(std::min(skip, bytes.size()), n * 160);
    };
    const QByteArray none;
    const FileView v{kind, MonthFileOf(kind, month), records(copy.value_or(none)),
                     file ? records(*file) : QByteArrayView()};
    (data ? r.sealedData : r.sealedEvents) = v.sealed.size() / 160;
    (data ? r.dataRecords : r.eventRecords) = v.now.size() / 160;
    if (data && copy && copy->size() >= 160 &&
        ReadHeaderCount(QString::fromLatin1(copy->left(160))) !=
            std::min<qint64>(v.sealed.size() / 160, MaxDataRecords))
        r.findings.push_back({Severity::Fail,
                              "sealed-count",
                              SealedCopyOf(kind, month),
                              0,
                              0,
                              {},
                              {},
                              {},
                              {},
                              {},
                              QStringLiteral("the sealed copy's count record disagrees with its records")});
    const std::vector<Seen> seen = SealerSaw(lines, kind);
    if (!file) {
        if (!v.sealed.isEmpty()) {
            Finding f{Severity::Fail,
                      "removed",
                      v.name,
                      1,
                      v.sealed.size() / 160,
                      {},
                      {},
                      {},
                      {},
                      {},
                      QStringLiteral("the file is gone; the sealed copy keeps its %1 records")
                          .arg(v.sealed.size() / 160)};
            f.firstSeen = QStringLiteral("not seen by the sealer");
            for (const CheckedLine& l : lines)
                if (l.line.kind == LineKind::Removed && l.line.detail.endsWith(v.name.toLatin1())) {
                    f.firstSeen = LineText(l);
                    break;
                }
            r.findings.push_back(f);
        }
        return;
    }
    if (data && file->size() >= 160) {
        r.countRecord = ReadHeaderCount(QString::fromLatin1(file->left(160)));
        if (const DataFileEnd end = LastDataRecord(file->size() / 160, r.countRecord); end.countDisagrees)
            r.findings.push_back({Severity::Fail,
                                  "count",
                                  v.name,
                                  0,
                                  0,
                                  {},
                                  {},
                                  {},
                                  {},
                                  {},
                                  CountDisagreesText(v.name, r.countRecord, file->size())});
    }
    const RecordDiff diff = CompareRecords(v.sealed, v.now, 160);
    for (const RecordRun& run : diff.runs) {
        Finding f = RunFinding(run, v);
        SeenWhen(f, seen, lines);
        r.findings.push_back(std::move(f));
    }
    for (const Seen& s : seen)
        if (std::none_of(diff.runs.begin(), diff.runs.end(),
                         [&](const RecordRun& run) { return Covers(s.ref, run.at); }))
            r.findings.push_back(
                {Severity::Fail,
                 "was-changed",
                 v.name,
                 s.ref.record,
                 s.ref.count,
                 {},
                 {},
                 {},
                 LineText(*s.line),
                 s.before ? LineText(*s.before) : QString(),
                 QStringLiteral("the sealer saw %1 records from record %2 on %3; the file holds "
                                "its sealed bytes there again")
                     .arg(s.ref.count)
                     .arg(s.ref.record)
                     .arg(Latin1(KindName(s.line->line.kind)).toLower())});
    CheckUnsealed(v, diff.newFrom, lines, c, r);
}

// What the sealer saw that the files no longer show: a file removed or
// replaced, a record back-dated.
void SealerFindings(const MonthBytes& files, const std::vector<CheckedLine>& lines, MonthReport& r) {
    for (const CheckedLine& l : lines) {
        const SealLine& line = l.line;
        const QString file = Latin1(line.detail.mid(2));
        if ((line.kind == LineKind::Removed &&
             (line.detail.startsWith('E') ? files.events : files.data).has_value()) ||
            line.kind == LineKind::Replaced)
            r.findings.push_back(
                {Severity::Fail,
                 line.kind == LineKind::Removed ? "removed" : "replaced",
                 file,
                 0,
                 0,
                 {},
                 {},
                 {},
                 LineText(l),
                 {},
                 QStringLiteral("the sealer saw the file %1 at %2")
                     .arg(line.kind == LineKind::Removed ? "removed" : "replaced by another", LineText(l))});
        const auto ref = RecordRefOf(line.detail);
        if (line.kind != LineKind::Backdated || !ref)
            continue;
        const QString name =
            MonthFileOf(ref->events ? MonthFileKind::Events : MonthFileKind::Data, files.month);
        r.findings.push_back(
            {Severity::Fail,
             "backdated",
             name,
             ref->record,
             1,
             Latin1(ref->rest.mid(6, 19)),
             {},
             {},
             LineText(l),
             {},
             QStringLiteral("record %1 is stamped %2, first seen at %3")
                     .arg(ref->record)
                     .arg(Latin1(ref->rest.mid(6, 19)), LineText(l)) +
                 (ref->rest.endsWith("order") ? QStringLiteral(": before the record before it")
                                              : QStringLiteral(": well after its stamp"))});
    }
}

} // namespace

void CheckRecords(const MonthBytes& files, const std::vector<CheckedLine>& lines, const VerifyContext& c,
                  MonthReport& r) {
    CheckFile(MonthFileKind::Data, files.data, files.sealedData, lines, c, r, files.month);
    CheckFile(MonthFileKind::Events, files.events, files.sealedEvents, lines, c, r, files.month);
    SealerFindings(files, lines, r);
}

} // namespace tarvek
