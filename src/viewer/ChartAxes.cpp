#include "viewer/ChartAxes.h"

#include "data/StoredTime.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tarvek {

namespace {

// A tick spacing: a fixed length below a day, else a count of days or months.
struct Step {
    qint64 ms;    // nominal length, to choose by
    int days = 0; // 1 or 7 (weeks start on Mondays)
    int months = 0;
};
constexpr Step Steps[] = {
    {SecondMs},     {5 * SecondMs},     {10 * SecondMs},    {15 * SecondMs},     {30 * SecondMs},
    {MinuteMs},     {5 * MinuteMs},     {10 * MinuteMs},    {15 * MinuteMs},     {30 * MinuteMs},
    {HourMs},       {3 * HourMs},       {6 * HourMs},       {12 * HourMs},       {DayMs, 1},
    {7 * DayMs, 7}, {30 * DayMs, 0, 1}, {91 * DayMs, 0, 3}, {182 * DayMs, 0, 6}, {365 * DayMs, 0, 12},
};

qint64 CeilTo(qint64 a, qint64 step) {
    const qint64 q = FloorDiv(a, step);
    return q * step == a ? a : (q + 1) * step;
}

// Instants whose wall-clock time is a whole multiple of `step` (below a day).
std::vector<qint64> ClockTicks(qint64 from, qint64 to, qint64 step, const QTimeZone& zone) {
    std::vector<qint64> ticks;
    const auto offset = [&](qint64 utc) {
        return qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::utc()))) * 1000;
    };
    for (qint64 t = from; t <= to;) {
        const qint64 off = offset(t);
        qint64 tick = CeilTo(t + off, step) - off;
        if (offset(tick) != off) // the offset changes before the tick: align on the new one
            tick = std::max(t, CeilTo(t + offset(tick), step) - offset(tick));
        if (tick > to)
            break;
        if ((tick + offset(tick)) % step == 0)
            ticks.push_back(tick);
        t = tick + 1;
    }
    return ticks;
}

// Local midnights of the days or months `step` counts, within [from, to].
std::vector<qint64> CalendarTicks(qint64 from, qint64 to, const Step& step, const QTimeZone& zone) {
    std::vector<qint64> ticks;
    QDate date = QDateTime::fromMSecsSinceEpoch(from, zone).date();
    if (step.days == 7)
        date = date.addDays(1 - date.dayOfWeek());
    if (step.months >= 12) {
        const int years = step.months / 12;
        date = QDate(date.year() - ((date.year() % years) + years) % years, 1, 1);
    } else if (step.months > 0) {
        date = QDate(date.year(), (date.month() - 1) / step.months * step.months + 1, 1);
    }
    for (;; date = step.months > 0 ? date.addMonths(step.months) : date.addDays(step.days)) {
        const qint64 t = QDateTime(date, QTime(0, 0), zone).toMSecsSinceEpoch();
        if (t > to)
            break;
        if (t >= from)
            ticks.push_back(t);
    }
    return ticks;
}

} // namespace

std::vector<UnitGroup> GroupByUnit(const std::vector<QString>& units, const std::vector<int>& shown) {
    std::vector<UnitGroup> groups;
    for (const int k : shown) {
        const auto same = std::find_if(groups.begin(), groups.end(),
                                       [&](const UnitGroup& g) { return g.unit == units[k]; });
        if (same != groups.end())
            same->channels.push_back(k);
        else
            groups.push_back({units[k], {k}});
    }
    return groups;
}

std::vector<TimeTick> TimeTicks(qint64 fromUtc, qint64 toUtc, int maxTicks, const QTimeZone& zone) {
    const qint64 span = std::max<qint64>(toUtc - fromUtc, 1);
    maxTicks = std::max(maxTicks, 1);
    Step step = Steps[std::size(Steps) - 1];
    // Beyond a tick a year: 2, 5, 10, 20, 50... years (a zoom far out
    // still gets a few ticks, not one a year).
    for (qint64 decade = 1; decade <= 10'000; decade *= 10)
        for (const qint64 m : {2, 5, 10})
            if (span / step.ms >= maxTicks)
                step = {m * decade * 365 * DayMs, 0, int(m * decade * 12)};
    for (const Step& s : Steps)
        if (span / s.ms < maxTicks) {
            step = s;
            break;
        }
    const std::vector<qint64> instants = step.ms < DayMs ? ClockTicks(fromUtc, toUtc, step.ms, zone)
                                                         : CalendarTicks(fromUtc, toUtc, step, zone);
    // The finest part the step needs, then what is coarser where it changes.
    const QLocale c = QLocale::c();
    const QString fine = step.ms < MinuteMs ? QStringLiteral("HH:mm:ss")
                         : step.ms < DayMs  ? QStringLiteral("HH:mm")
                         : step.months > 0
                             ? (step.months >= 12 ? QStringLiteral("yyyy") : QStringLiteral("MMM"))
                             : QStringLiteral("d MMM");
    std::vector<TimeTick> ticks;
    QDate before;
    for (const qint64 t : instants) {
        const QDate date = QDateTime::fromMSecsSinceEpoch(t, zone).date();
        QString label = c.toString(QDateTime::fromMSecsSinceEpoch(t, zone), fine);
        const bool newYear = !before.isValid() || before.year() != date.year();
        if (step.ms < DayMs && date != before)
            label +=
                u'\n' + c.toString(date, newYear ? QStringLiteral("d MMM yyyy") : QStringLiteral("d MMM"));
        else if (step.ms >= DayMs && step.months < 12 && newYear)
            label += u'\n' + c.toString(date, QStringLiteral("yyyy"));
        ticks.push_back({t, label});
        before = date;
    }
    return ticks;
}

QString ValueScale::Label(double value) const {
    return QString::number(std::fabs(value) < step / 2 ? 0.0 : value, 'f', decimals);
}

ValueScale NiceScale(double low, double high, int maxTicks) {
    if (!(high > low)) {
        const double pad = std::max(1.0, std::fabs(high) * 0.05);
        low -= pad, high += pad;
    }
    maxTicks = std::max(maxTicks, 1);
    const double rough = (high - low) / maxTicks;
    const int power = int(std::floor(std::log10(rough)));
    const double unit = std::pow(10.0, power);
    double step = 10 * unit;
    for (const double m : {1.0, 2.0, 5.0})
        if (m * unit >= rough) {
            step = m * unit;
            break;
        }
    ValueScale s;
    s.step = step;
    s.low = std::floor(low / step) * step;
    s.high = std::ceil(high / step) * step;
    s.decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    return s;
}

std::vector<double> ValueTicks(const ValueScale& scale, double low, double high) {
    // Counted in whole steps, never summed: in a range zoomed finer than the
    // values' precision, where a step added leaves the value as it was, the
    // grid still ends.
    const double first = std::ceil(low / scale.step - 1e-9), last = std::floor(high / scale.step + 1e-9);
    std::vector<double> ticks;
    for (int i = 0; i <= std::min(last - first, 1000.0); ++i)
        ticks.push_back((first + i) * scale.step);
    return ticks;
}

std::pair<double, double> FitValues(bool any, double low, double high, const std::vector<double>& limits) {
    if (!any)
        return {0, 1};
    const double spread = std::max(high - low, std::max(1.0, std::fabs(high)) * 0.05);
    double a = low, b = high;
    for (const double limit : limits)
        if (limit >= low - spread && limit <= high + spread)
            a = std::min(a, limit), b = std::max(b, limit);
    const double margin = std::max(b - a, spread) * 0.05;
    return {a - margin, b + margin};
}

StripValues StripRange(const std::vector<int>& channels, const std::array<Trace, ChannelCount>& traces,
                       const ChannelInfos& infos, const std::optional<std::pair<double, double>>& zoom,
                       int maxTicks) {
    double low = 0, high = 0;
    bool any = false;
    std::vector<double> limits;
    for (const int k : channels) {
        for (const QPointF& p : traces[k].points) {
            low = any ? std::min(low, p.y()) : p.y();
            high = any ? std::max(high, p.y()) : p.y();
            any = true;
        }
        for (const std::optional<double>& limit : {infos[k].limits.below, infos[k].limits.above})
            if (limit)
                limits.push_back(*limit);
    }
    const auto [a, b] = zoom ? *zoom : FitValues(any, low, high, limits);
    const ValueScale scale = NiceScale(a, b, maxTicks);
    return zoom ? StripValues{scale, a, b} : StripValues{scale, scale.low, scale.high};
}

} // namespace tarvek
