#include "viewer/ViewerSession.h"

#include "viewer/AlarmList.h"
#include "viewer/TableText.h"

#include <QDateTime>

namespace tarvek {

ViewerSession::ViewerSession(QTimeZone zone, qint64 recordLimit)
    : source_(zone, recordLimit), events_(zone), seals_(zone) {}

bool ViewerSession::OpenData(const QStringList& paths) {
    folder_ = DataFolderOf(paths);
    const bool read = source_.Open(paths);
    seals_.Open(folder_);
    periods_.clear(); // of records that are no more
    return read;
}

void ViewerSession::OpenEvents() {
    events_.Open(folder_);
    acknowledgeProblem_.clear();
    spanEvents_ = EventsInSpan(events_.Timeline(), span_);
}

TrendSource::Change ViewerSession::FollowData() {
    const TrendSource::Change change = source_.FollowStep();
    if (change != TrendSource::Change::None)
        periods_.clear(), seals_.Changed();
    return change;
}

bool ViewerSession::FollowEvents() {
    if (!events_.FollowStep())
        return false;
    spanEvents_ = EventsInSpan(events_.Timeline(), span_);
    return true;
}

bool ViewerSession::Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& user,
                                const QString& comment, const QDateTime& now) {
    const FileOutcome outcome = events_.Acknowledge(alarms, user, comment, now);
    acknowledgeProblem_ = outcome ? QString() : outcome.message;
    spanEvents_ = EventsInSpan(events_.Timeline(), span_);
    return bool(outcome);
}

void ViewerSession::ShowSpan(const std::vector<int>& shown, const TimeSpan& span) {
    shown_ = shown;
    span_ = span;
    seals_.Show(span);
    periods_ = PeriodsOf(source_.Data(), source_.Channels(), shown_, span_);
    spanEvents_ = EventsInSpan(events_.Timeline(), span_);
}

std::vector<QStringList> ViewerSession::SpanEventRows() const {
    std::vector<QStringList> rows;
    for (const std::size_t i : spanEvents_)
        rows.push_back(EventRow(events_.Events()[i].event, source_.Channels()));
    return rows;
}

QStringList ViewerSession::Problems() const {
    QStringList problems = source_.Errors() + source_.LimitProblems() + events_.Problems();
    if (!acknowledgeProblem_.isEmpty())
        problems += acknowledgeProblem_;
    return problems + seals_.Lines(QDateTime::currentMSecsSinceEpoch());
}

QStringList ViewerSession::FollowedPaths() const {
    QStringList paths = events_.Paths();
    if (const QStringList files = source_.Files(); !files.isEmpty())
        paths += files.back();
    return paths;
}

} // namespace tarvek
