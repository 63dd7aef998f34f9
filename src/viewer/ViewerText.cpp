#include "viewer/ViewerText.h"

#include "viewer/TableText.h"

#include <algorithm>

namespace tarvek {

QString TallyText(const ReadTally& tally) {
    return QStringLiteral("%1 blank, %2 not data records, %3 past the header's count, %4 torn")
        .arg(tally.blank)
        .arg(tally.notData)
        .arg(tally.uncounted)
        .arg(tally.torn);
}

QString StatusText(qsizetype files, qint64 records, const ReadTally& tally, const QStringList& countNotes) {
    QString status = QStringLiteral("%1 files, %2 records").arg(files).arg(records);
    if (tally.Skipped() > 0)
        status += QStringLiteral("; skipped: ") + TallyText(tally);
    if (!countNotes.isEmpty())
        status += QStringLiteral("; ") + countNotes.join(QStringLiteral("; "));
    return status;
}

QString ReadOutText(const Trend& trend, qint64 record, const std::vector<int>& shown,
                    const ChannelInfos& channels) {
    QStringList parts{TableTime(trend, record)};
    for (const int k : shown) {
        const StoredValue v = trend.Value(k, record);
        parts += channels[k].Heading() + QStringLiteral(": ") +
                 (v.IsGap() ? (v.IsNoData() ? QStringLiteral("No Data") : QStringLiteral("invalid"))
                            : QString::fromLatin1(v.Text()));
    }
    return parts.join(QStringLiteral("   "));
}

FollowRedraw AfterFollowStep(TrendSource::Change change, bool zoomed, bool fromTo) {
    if (change == TrendSource::Change::None)
        return FollowRedraw::Nothing;
    return zoomed || fromTo ? FollowRedraw::SameSpan : FollowRedraw::SpanMovesOn;
}

std::array<bool, ChannelCount> InitiallyShown(const ChannelInfos& channels) {
    std::array<bool, ChannelCount> shown{};
    const bool any =
        std::any_of(channels.begin(), channels.end(), [](const ChannelInfo& c) { return c.active; });
    for (int k = 0; k < ChannelCount; ++k)
        shown[k] = !any || channels[k].active;
    return shown;
}

} // namespace tarvek
