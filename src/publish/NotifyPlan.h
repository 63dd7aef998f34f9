#pragma once

#include "publish/EventFeed.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tarvek {

// The notification command of publish.conf as its words: blanks separate
// words; '...' keeps everything up to the next ' as it stands; "..." does
// the same, except that \" and \\ stand for " and \; outside quotes a \ takes
// the next character as it is. Nothing else is special: the words go to the
// program as they are, never through a shell. Nothing for an unclosed quote
// or a \ at the end.
std::optional<QStringList> SplitCommandWords(const QString& text);

struct NotifySettings {
    QStringList command; // the program and its arguments; empty: no notifications
    int batchSeconds = 0;
    int timeoutSeconds = 30;
    int maxAgeSeconds = 3600;
    // A run that failed is tried again after these, doubling in between.
    qint64 firstRetryMs = 5000, lastRetryMs = 300'000;
};

// Whether an event is notified: an alarm raised or cleared, of a channel or
// of the logger itself (no answer, not stored). A seal line's finding
// (FedEvent::finding) is notified as well.
bool IsNotified(const Event& e);

// The one-line summary of an event: its time, its AlarmText by the channel's
// number and what happened, "2026-12-08 10:15:30 Ch.3 above maximum raised,
// value 10.700, limit 10.0: Boiler pressure".
QString SummaryLine(const FedEvent& fed);

// One run of the command: the subject and lines of the mail on its standard
// input and its environment (TARVEK_KIND, TARVEK_EVENT, ... of the run's
// first event, TARVEK_COUNT of its events).
struct NotifyRun {
    QString subject;
    QStringList lines;
    std::vector<std::pair<QString, QString>> environment;
};

// How a run ended: exit status 0, or what went wrong ("exit status 1",
// "no end after 30 s, killed"), with the last line it wrote.
struct RunEnd {
    bool ok = false;
    QString why;
};

// What to notify and when, without I/O: events come in stored order with the
// time they were seen, runs go out one at a time in that order, and the place
// of the last event notified moves only over runs that succeeded (and over
// the events between them that are not notified), so a restart from it
// notifies at least once. Events seen within `batchSeconds` of the first one
// waiting go in one run. Events older than `maxAgeSeconds` when seen (a
// backlog after an outage) are summarised in one run instead: they are
// gathered for at least two seconds, as a backlog arrives in several reads.
// A failed run is tried again, as it was, after a wait that doubles from
// `firstRetryMs` to `lastRetryMs`. Only the next run is held: an event that
// would start another is refused, and read again from the logs once the run
// held has succeeded, so a command failing for days holds one run's events.
class NotifyPlan {
  public:
    // The most events one run lists; a summary holds its first and last only.
    static constexpr qsizetype MaxRunEvents = 1000;

    explicit NotifyPlan(NotifySettings settings, EventPosition notified = {})
        : settings_(std::move(settings)), notified_(std::move(notified)) {}

    // False when `fed` is refused: it belongs to a later run than the one held.
    bool Add(const FedEvent& fed, qint64 nowMs);
    // The run held goes without waiting out its gathering (--once, caught up).
    void RunGathered() { hurry_ = true; }
    // The run to start now, if one is due and none is running.
    std::optional<NotifyRun> Take(qint64 nowMs);
    // The end of the run taken last: what to say on stderr, if anything (the
    // first failure of a series and the first success after it).
    QString Finished(const RunEnd& end, qint64 nowMs);
    // When Take may next give a run; nothing while one runs or none waits.
    std::optional<qint64> NextRunMs() const;
    // After the last event notified (or passed over), in stored order.
    const EventPosition& Notified() const { return notified_; }
    // The events held for the next run.
    qsizetype Held() const { return waiting_ ? qsizetype(waiting_->events.size()) : 0; }

  private:
    struct Group {
        std::vector<FedEvent> events; // a summary's first and last only
        qsizetype count = 0;
        bool old = false;
        bool taken = false;
        qint64 seenMs = 0;
        EventPosition through; // its last event, or a later one that is not notified
    };
    static NotifyRun RunOf(const Group& group);

    NotifySettings settings_;
    EventPosition notified_;
    std::optional<Group> waiting_;
    bool running_ = false, hurry_ = false;
    int failures_ = 0;
    qint64 retryMs_ = 0;
};

} // namespace tarvek
