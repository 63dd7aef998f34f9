#pragma once

#include "viewer/TrendSource.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tarvek {

// The viewer's texts about what it read and shows, for the window and the
// headless export alike.

// The records left out: "B blank, N not data records, U past the header's
// count, T torn".
QString TallyText(const ReadTally& tally);

// The window's status line: "F files, R records", then "; skipped: " and the
// tally when records were left out, then the count notes.
QString StatusText(qsizetype files, qint64 records, const ReadTally& tally, const QStringList& countNotes);

// The values of `record` under the pointer: its time, then "<heading>: <value>"
// per shown channel ("No Data", "invalid" for the gaps), three blanks apart.
QString ReadOutText(const Trend& trend, qint64 record, const std::vector<int>& shown,
                    const ChannelInfos& channels);

// What the window redraws after a follow step that found `change`: nothing,
// the chart and tables over the same span (the user zoomed, or chose "From
// … to …"), or the chosen span moved on with the newest record.
enum class FollowRedraw { Nothing, SameSpan, SpanMovesOn };
FollowRedraw AfterFollowStep(TrendSource::Change change, bool zoomed, bool fromTo);

// The channels checked when data is opened: those the set-up marks active,
// or all when it marks none (no set-up read).
std::array<bool, ChannelCount> InitiallyShown(const ChannelInfos& channels);

// The titles of the two tables, in the window and the PDF.
inline const QString StatisticsTitle = QStringLiteral("Statistics of the visible span");
inline const QString PeriodsTitle = QStringLiteral("Periods outside limits");

} // namespace tarvek
