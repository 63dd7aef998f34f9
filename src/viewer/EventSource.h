#pragma once

#include "data/AlarmFold.h"
#include "data/DataFileReader.h"
#include "data/MonthFolder.h"
#include "viewer/EventMarks.h"

#include <QDateTime>
#include <QStringList>

#include <vector>

namespace tarvek {

// The event logs of a data folder as the viewer reads and follows them:
// every month's file, oldest first, read with the rules of shared folders (a
// link, a FIFO or a device is named, never followed or waited on), and the
// current alarms they fold into, and the events on the true time line of
// `zone`.
class EventSource {
  public:
    explicit EventSource(QTimeZone zone = QTimeZone::systemTimeZone()) : zone_(std::move(zone)) {}
    // Reads the event logs of `folder` in place of what was open.
    void Open(const QString& folder);
    // Reads the files that changed and a month's file new in the folder, as
    // MonthFolderFollower tells them. True when the events changed.
    bool FollowStep();

    const QString& Folder() const { return folder_; }
    // The folder and its event files, as last listed.
    QStringList Paths() const;
    const std::vector<LoggedEvent>& Events() const { return events_; }
    const AlarmFold& Fold() const { return fold_; }
    const EventTimeline& Timeline() const { return timeline_; }
    // Records skipped: not whole, or no event record.
    int Skipped() const;
    QStringList Problems() const;

    // Appends one ACKNOWLEDGED record per alarm (Acknowledgements) to the log
    // of the month of `now` in one synced write, then reads it again: the
    // records are on the disk before the list changes. A failure says why
    // ("Not acknowledged: ...").
    FileOutcome Acknowledge(const std::vector<CurrentAlarm>& alarms, const QString& user,
                            const QString& comment, const QDateTime& now);

  private:
    // A file's events live in events_, from `first` on; `read.events` holds
    // only those read and not yet moved there.
    struct File {
        QString name;
        EventFileRead read;
        std::size_t first = 0, count = 0;
        bool fresh = false;   // read whole again: read.events is all it holds
        qint64 whole = 0;     // whole records read
        int skippedWhole = 0; // of those, skipped
    };
    // Reads the file again, or only what was appended when it grew (or may
    // have: a look within its clock tick); true when only appended records
    // came, `read` true when any did.
    bool Read(File& file, const MonthLook& look, bool last, bool* read);
    void Gather();

    QTimeZone zone_;
    QString folder_;
    MonthFolderFollower follower_{{}, MonthFileKind::Events};
    std::vector<File> files_;
    std::vector<LoggedEvent> events_;
    AlarmFold fold_;
    EventTimeline timeline_;
};

} // namespace tarvek
