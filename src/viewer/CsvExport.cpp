#include "viewer/CsvExport.h"

#include "common/RecordFile.h"
#include "viewer/ExportFile.h"
#include "viewer/TableText.h"

#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

namespace tarvek {

QByteArray CsvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (!field.isEmpty() && QByteArrayView("=+-@\t\r").contains(field.front()))
        field.prepend('\'');
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field.replace('"', "\"\"") + '"';
    return field;
}

bool WriteCsv(QIODevice& out, const Trend& trend, const ChannelInfos& channels, const std::vector<int>& shown,
              const TimeSpan& span) {
    QByteArray text = "time";
    for (const int k : shown)
        text += ',' + CsvField(channels[k].Heading());
    text += "\r\n";

    // Rows go out in blocks of about a megabyte, each row written in place.
    constexpr qsizetype Block = 1 << 20;
    const qsizetype rowRoom = 21 + 13 * qsizetype(shown.size());
    // A short write is retried for the rest, so that a failure leaves its
    // reason (a full disk) in the device.
    if (!WriteAll(out, text))
        return false;
    text.resize(Block + rowRoom);
    char* const start = text.data();
    char* at = start;
    const auto [first, last] = trend.IndexRange(span);
    for (qint64 i = first; i < last; ++i) {
        if (!trend.Contains(i, span))
            continue;
        WriteStoredTime(trend.LocalMs(i), at);
        at += 19;
        for (const int k : shown) {
            *at++ = ',';
            at += trend.Value(k, i).WriteText(at);
        }
        *at++ = '\r';
        *at++ = '\n';
        if (at - start >= Block) {
            if (!WriteAll(out, QByteArray::fromRawData(start, at - start)))
                return false;
            at = start;
        }
    }
    return WriteAll(out, QByteArray::fromRawData(start, at - start));
}

bool WriteLimitsCsv(QIODevice& out, const Trend& trend, const ChannelInfos& channels,
                    const std::vector<int>& shown, const TimeSpan& span) {
    QByteArray text = "channel,from,to,outside,extreme,at,records\r\n";
    for (const LimitPeriod& p : PeriodsOf(trend, channels, shown, span))
        text += CsvField(channels[p.channel].Heading()) + ',' + StoredTimeText(trend.LocalMs(p.first)) + ',' +
                StoredTimeText(trend.LocalMs(p.last)) + (p.above ? ",above," : ",below,") +
                trend.Value(p.channel, p.extreme).Text() + ',' + StoredTimeText(trend.LocalMs(p.extreme)) +
                ',' + QByteArray::number(p.count) + "\r\n";
    return out.write(text) == text.size();
}

bool ExportCsv(const QString& path, const Trend& trend, const ChannelInfos& channels,
               const std::vector<int>& shown, const TimeSpan& span, QString* error) {
    return WriteExport(
        path, [&](QIODevice& out) { return WriteCsv(out, trend, channels, shown, span); }, error);
}

} // namespace tarvek
