#include "viewer/SpanChoice.h"

#include <algorithm>

namespace tarvek {

std::optional<std::pair<qint64, qint64>> TimeExtent(const Trend& trend) {
    if (trend.Size() == 0)
        return std::nullopt;
    if (trend.TimesNeverFall(TimeSpan::Utc))
        return std::pair{trend.UtcMs(0), trend.UtcMs(trend.Size() - 1)};
    std::pair extent{trend.UtcMs(0), trend.UtcMs(0)};
    for (qint64 i = 1; i < trend.Size(); ++i) {
        extent.first = std::min(extent.first, trend.UtcMs(i));
        extent.second = std::max(extent.second, trend.UtcMs(i));
    }
    return extent;
}

std::optional<TimeSpan> ChosenSpan(SpanChoice choice, const Trend& trend, qint64 from, qint64 to) {
    if (choice == SpanChoice::FromTo)
        return TimeSpan{from, to + 999, TimeSpan::Utc};
    const auto extent = TimeExtent(trend);
    if (!extent)
        return std::nullopt;
    static constexpr qint64 lengths[] = {HourMs, DayMs, 7 * DayMs, 31 * DayMs};
    const auto [first, last] = *extent;
    return TimeSpan{choice == SpanChoice::All ? first : last - lengths[int(choice)], last, TimeSpan::Utc};
}

} // namespace tarvek
