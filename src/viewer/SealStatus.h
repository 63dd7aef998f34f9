#pragma once

#include "viewer/Trend.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <memory>
#include <set>

namespace tarvek {

struct FolderReport;

// What the seals say of the span shown, for the problems line, by the verify
// engine of tarvek-verify (public keys only, from seals/keys.txt): nothing
// where no seals folder stands beside the data folder; otherwise the
// findings whose record lies in the span, with those of its months that name
// no record, or else "Seals: sealed and intact up to 10:15:00", the time of
// the last checkpoint within the span. The months are verified when first
// asked for, again after the data changed (at most once a minute), and
// never for a span that did not change.
class SealStatus {
  public:
    explicit SealStatus(QTimeZone zone);
    ~SealStatus();

    // The data folder opened (its seals are looked for afresh), a change of
    // its files, the span shown.
    void Open(const QString& dataFolder);
    void Changed() { stale_ = true; }
    void Show(const TimeSpan& span) { span_ = span; }
    // What to say; `nowUtcMs` for a seal's age and when to verify again.
    QStringList Lines(qint64 nowUtcMs);

  private:
    QTimeZone zone_;
    QString data_;
    TimeSpan span_;
    std::unique_ptr<FolderReport> report_;
    int from_ = -1, to_ = -1; // the months the report holds
    bool stale_ = false;
    qint64 checkedMs_ = 0;
};

} // namespace tarvek
