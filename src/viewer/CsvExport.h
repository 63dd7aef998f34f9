#pragma once

#include "viewer/Channels.h"
#include "viewer/Trend.h"

#include <QIODevice>
#include <QTextStream>

#include <functional>
#include <vector>

namespace tarvek {

// Writes the records of `span` as CSV (RFC 4180: comma-separated, CR LF,
// fields quoted where they hold a comma, a quote or a line break): a header
// row "time" and "name [unit]" per channel, then one row per record in stored
// order, the time as "YYYY-MM-DDTHH:MM:SS" on the wall clock, each value as
// its stored digits with "." as the point (StoredValue::Text), an empty cell
// for a gap. False when the device fails to take the text.
// A cell of text: one that a spreadsheet could take for a formula (starting
// with = + - @, a tab or CR) gets a "'" before it; quoted where needed.
QByteArray CsvField(const QString& text);

bool WriteCsv(QIODevice& out, const Trend& trend, const ChannelInfos& channels, const std::vector<int>& shown,
              const TimeSpan& span);

// The periods of the shown channels outside their limits over `span`, by the
// same rules: a header row "channel,from,to,outside,extreme,at,records", then
// one row per period (LimitPeriod), times as above, "below" or "above".
bool WriteLimitsCsv(QIODevice& out, const Trend& trend, const ChannelInfos& channels,
                    const std::vector<int>& shown, const TimeSpan& span);

bool ExportCsv(const QString& path, const Trend& trend, const ChannelInfos& channels,
               const std::vector<int>& shown, const TimeSpan& span, QString* error);

} // namespace tarvek
