#pragma once

#include <QHash>
#include <QString>

namespace tarvek {

// What the publisher says on stderr, which the service's journal keeps: a
// line as it happens, or what changed of a subject ("link", "state",
// "folder", ...) once, not at every attempt.
class ChangeLog {
  public:
    // "tarvek-publish: `text`", flushed at once.
    static void Line(const QString& text);
    // Says `text` (nothing when it is empty) when `state` is not what was
    // last reported of `subject`.
    void Report(const QString& subject, const QString& state, const QString& text);

  private:
    QHash<QString, QString> reported_; // the last state of each subject
};

} // namespace tarvek
