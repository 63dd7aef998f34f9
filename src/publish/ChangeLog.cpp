#include "publish/ChangeLog.h"

#include <cstdio>

namespace tarvek {

void ChangeLog::Line(const QString& text) {
    std::fprintf(stderr, "tarvek-publish: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void ChangeLog::Report(const QString& subject, const QString& state, const QString& text) {
    const auto it = reported_.find(subject);
    if (it != reported_.end() && *it == state)
        return;
    reported_[subject] = state;
    if (!text.isEmpty())
        Line(text);
}

} // namespace tarvek
