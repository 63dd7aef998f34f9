#include "viewer/SealStatus.h"

#include "common/Folders.h"
#include "data/StoredTime.h"
#include "seal/VerifyFolder.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

namespace tarvek {

namespace {

// At most this many findings in the line; tarvek-verify tells them all.
constexpr int MostFindings = 5;

int MonthOf(const QDateTime& t) {
    return t.date().year() * 12 + t.date().month() - 1;
}

} // namespace

SealStatus::SealStatus(QTimeZone zone) : zone_(std::move(zone)) {}
SealStatus::~SealStatus() = default;

void SealStatus::Open(const QString& dataFolder) {
    data_ = dataFolder;
    report_.reset();
}

QStringList SealStatus::Lines(qint64 nowUtcMs) {
    const QString seals = SealFolderBesideData(data_);
    if (data_.isEmpty() || span_.to <= span_.from || !QFileInfo(seals).isDir())
        return {};
    // The span in true time and in wall-clock time.
    const bool utc = span_.base == TimeSpan::Utc;
    const auto other = [&](qint64 ms) {
        return utc ? ms + zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, zone_)) * SecondMs
                   : ms -
                         zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())) * SecondMs;
    };
    const qint64 utcFrom = utc ? span_.from : other(span_.from), utcTo = utc ? span_.to : other(span_.to);
    const qint64 localFrom = utc ? other(span_.from) : span_.from, localTo = utc ? other(span_.to) : span_.to;
    const int from = MonthOf(QDateTime::fromMSecsSinceEpoch(utcFrom, zone_)),
              to = MonthOf(QDateTime::fromMSecsSinceEpoch(utcTo, zone_));
    if (!report_ || from < from_ || to > to_ || (stale_ && nowUtcMs - checkedMs_ >= MinuteMs)) {
        report_ = std::make_unique<FolderReport>(VerifyFolder({data_, seals, from, to, {}, nowUtcMs, zone_}));
        from_ = from, to_ = to, stale_ = false, checkedMs_ = nowUtcMs;
    }
    if (!report_->problem.isEmpty())
        return {QStringLiteral("Seals: cannot verify: ") + report_->problem};
    QStringList found;
    qint64 more = 0;
    std::optional<qint64> last; // the last checkpoint within the span
    bool after = false;         // one after it
    for (const MonthReport& m : report_->months) {
        if (m.month < from || m.month > to)
            continue;
        for (const Finding& f : m.findings) {
            const std::optional<qint64> at = f.time.isEmpty() ? std::nullopt : ParseStoredTime(f.time);
            if (f.severity == Finding::Severity::Note || (at && (*at < localFrom || *at > localTo)))
                continue;
            if (found.size() == MostFindings) {
                ++more;
                continue;
            }
            found += QStringLiteral("Seals: %1: %2").arg(f.file, f.text);
        }
        for (const qint64 t : m.checkpointsUtc) {
            if (t >= utcFrom && t <= utcTo)
                last = std::max(t, last.value_or(t));
            after = after || t > utcTo;
        }
    }
    if (more > 0)
        found += QStringLiteral("Seals: %1 more findings: tarvek-verify tells them all").arg(more);
    if (!found.isEmpty())
        return found;
    if (!last && !after)
        return {QStringLiteral("Seals: no checkpoint within the span yet")};
    const QDateTime upTo = QDateTime::fromMSecsSinceEpoch(last ? *last : utcTo, zone_);
    const bool oneDay = upTo.date() == QDateTime::fromMSecsSinceEpoch(utcFrom, zone_).date();
    return {QStringLiteral("Seals: sealed and intact up to ") +
            upTo.toString(oneDay ? QStringLiteral("hh:mm:ss") : QStringLiteral("yyyy-MM-dd hh:mm:ss"))};
}

} // namespace tarvek
