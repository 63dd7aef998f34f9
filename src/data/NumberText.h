#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvek {

// A value text ("  +10.700") or an alarm limit ("+10", "-.5", "007") as a
// plain decimal number, as every program shows, exports and sends them: no
// sign but "-", no leading zeros, a digit either side of the point, the
// decimals kept; a zero has no sign ("   -0.000" gives "0.000", as a data
// record's value reads, StoredValue::Text). It is a JSON number and a CSV
// cell. Nothing for any other text: a gap, a blank, "1e3".
std::optional<QByteArray> PlainNumber(const QString& text);

} // namespace tarvek
