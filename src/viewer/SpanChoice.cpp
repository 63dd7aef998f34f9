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
    constexpr qint64 HourMs = 3'600'000;
    static constexpr qint64 lengths[] = {HourMs, 24 * HourMs, 7 * 24 * HourMs, 31 * 24 * HourMs};
    const auto [first, last] = *extent;
    return TimeSpan{choice == SpanChoice::All ? first : last - lengths[int(choice)], last, TimeSpan::Utc};
}

} // namespace tarvek
