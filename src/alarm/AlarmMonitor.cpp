#include "alarm/AlarmMonitor.h"

#include "common/TextHelpers.h"
#include "config/AlarmParameters.h"
#include "data/EventLog.h"
#include "data/MonthFiles.h"
#include "data/StoringData.h"

#include <QDir>

#include <algorithm>
#include <cstdio>

namespace tarvek {

AlarmMonitor::AlarmMonitor(const Declarations& state, const WallClock& clock, AlarmNotifier* notifier)
    : state_(state), clock_(clock), notifier_(notifier), user_(RealUserName()) {}

Event AlarmMonitor::Now(const QString& kind, const QString& name) const {
    const QDateTime now = clock_.Now();
    Event e;
    e.date = DateStamp(now.date());
    e.time = TimeText(now.time());
    e.kind = kind;
    e.name = name;
    return e;
}

void AlarmMonitor::ProgramStarted() {
    // The logs of every month, oldest first: an alarm raised in an earlier
    // month may still stand, and the set-up last in use may be older still.
    const QString folder = DataFolderPath(state_.AppFolder);
    AlarmFold fold;
    trail_.clear();
    for (const QString& name : EventFilesIn(folder)) {
        const EventFileRead read = ReadEventFile(folder + u'/' + name);
        if (!read.problem.isEmpty())
            std::fprintf(stderr, "tarvek: %s; its alarms and set-up are not known\n",
                         qPrintable(read.problem));
        if (read.skipped > 0)
            std::fprintf(stderr, "tarvek: %s: records skipped, as they are no event records: %d\n",
                         qPrintable(QDir::toNativeSeparators(folder + u'/' + name)), read.skipped);
        for (const LoggedEvent& logged : read.events) {
            fold.Take(logged.event);
            TakeSetUp(trail_, logged.event);
        }
    }
    machine_.Restore(fold);
    Record({Now(EventKinds::Program, EventNames::Started)});
    UseSetUp();
}

void AlarmMonitor::SetUpLoaded() {
    UseSetUp();
}

void AlarmMonitor::UseSetUp() {
    const AlarmParametersRead read = ReadAlarmParameters(state_.AppFolder);
    for (const QString& problem : read.problems)
        std::fprintf(stderr, "tarvek: %s\n", qPrintable(problem));
    const AlarmSetUp setUp = AlarmSetUpOf(state_.SetUp, read.parameters);
    const Event now = Now(EventKinds::SetUp, {});
    std::vector<Event> events;
    for (Event e : CompareSetUp(trail_, SetUpFieldsOf(state_.SetUp, read.parameters))) {
        e.date = now.date;
        e.time = now.time;
        TakeSetUp(trail_, e);
        // A limit that cannot be used raises nothing: said once, when it comes
        // in use (an instrument value is said by the acquisition, which has no limit).
        if (e.name == EventNames::Unreadable && !e.limit.isEmpty())
            std::fprintf(stderr, "tarvek: %s\n", qPrintable(e.text));
        events.push_back(e);
    }
    const std::vector<Event> cleared = machine_.TakeSetUp(setUp, now.date, now.time);
    events.insert(events.end(), cleared.begin(), cleared.end());
    Record(std::move(events));
}

void AlarmMonitor::AcquisitionStarted() {
    machine_.Restart();
    Record({Now(EventKinds::Acquisition, EventNames::Started)});
}

void AlarmMonitor::AcquisitionStopped() {
    Record({Now(EventKinds::Acquisition, EventNames::Stopped)});
}

void AlarmMonitor::ScanEnded(const std::optional<FileOutcome>& store) {
    AlarmScan scan{state_.ScanDate, TrimBlanks(state_.ScanTime), state_.ReplyComplete == 1, {}, store};
    for (int c = 1; c <= Declarations::ChannelCount; ++c)
        scan.values[c - 1] = state_.ChannelValue[c];
    Record(machine_.Scan(scan));
}

void AlarmMonitor::Record(std::vector<Event> events) {
    for (Event& e : events)
        e.user = user_;
    std::vector<Event> batch = std::move(unwritten_);
    batch.insert(batch.end(), events.begin(), events.end());
    unwritten_.clear();
    const QString folder = DataFolderPath(state_.AppFolder);
    if (FileOutcome made = batch.empty() ? FileOutcome{} : EnsureFolder(folder); !made) {
        ReportFailure(made);
        unwritten_ = std::move(batch);
        batch.clear();
    }
    // Each event goes to the log of its own month, in order.
    for (auto first = batch.begin(); first != batch.end();) {
        const QString name = EventFileName(first->date);
        auto last =
            std::find_if(first, batch.end(), [&](const Event& e) { return EventFileName(e.date) != name; });
        const std::vector<Event> month(first, last);
        const FileOutcome written = AppendEvents(folder + u'/' + name, month);
        if (!written) {
            ReportFailure(written);
            unwritten_.insert(unwritten_.end(), first, batch.end());
            break;
        }
        first = last;
    }
    if (!notifier_)
        return;
    for (const Event& e : events)
        if (e.name == EventNames::Raised)
            notifier_->Notify(
                NoticeOf(e, e.channel >= 1 ? machine_.SetUp().channels[e.channel - 1].unit : QString()));
}

} // namespace tarvek
