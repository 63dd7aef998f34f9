#pragma once

#include "publish/CommandRunner.h"
#include "publish/EventFeed.h"
#include "publish/PublishConfig.h"

#include <functional>

namespace tarvek {

// The notification command fed from the event logs by a feed of its own,
// from the last event notified on: publishing never waits for it. The logs
// are its queue: what the command cannot take yet is read again from them
// (call Follow again when it is Ready). With `once`, a batch gathered when
// every log was read runs at once.
class NotifyStream {
  public:
    NotifyStream(const PublishConfig& config, const EventPosition& notified,
                 std::function<void(const QString&)> say, bool once = false);
    // Hands the events stored since the last call to the command, as many
    // as it takes.
    void Follow();
    // Every event stored was read and notified, and nothing runs.
    bool Idle() const { return !behind_ && command_.Idle(); }
    // Why a log cannot be read, while it lasts.
    const QString& Error() const { return feed_.Error(); }
    CommandRunner& Command() { return command_; }

  private:
    EventFeed feed_;
    CommandRunner command_;
    bool once_, behind_ = false; // behind_: events wait in the logs for the command
};

} // namespace tarvek
