// Any reading, gain and zero texts, and any double: the value text is always
// exactly 9 characters in one of its three forms, and a number reads back
// within the rounding of its decimals.
//
// Input: first byte even: the next 8 bytes are a double for ValueText.
// First byte odd: the next two bytes give the lengths of the reading and the
// gain text (each up to 31 bytes), the bytes after them are the reading, the
// gain and, for the rest, the zero; all read as Latin-1.
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr auto Require = [](bool ok) { return ok ? void() : std::abort(); };

// The text of value x: " ======= " when nothing fits (beyond 8 digits before
// the point), otherwise blanks, a sign ("-" exactly when x < 0), digits, and
// "." with up to three decimals, which give way only to fit the digits.
void CheckValueText(const QString& text, double x) {
    Require(text.size() == ValueWidth);
    if (text == InvalidValueText)
        return Require(!std::isfinite(x) || std::fabs(x) >= 99999999.49);
    Require(std::isfinite(x) && std::fabs(x) < 99999999.51);
    static const QRegularExpression shape(QStringLiteral("^ *([+-])[0-9]+(?:\\.([0-9]{1,3}))?$"));
    const QRegularExpressionMatch match = shape.match(text);
    Require(match.hasMatch() && match.captured(1) == (x < 0 ? u"-" : u"+"));
    const qsizetype decimals = match.captured(2).size();
    Require(decimals == ValueDecimals || TrimBlanks(text).size() >= ValueWidth - 1);
    const double tolerance = 0.5 * std::pow(10.0, -double(decimals)) * (1 + 1e-12) + std::fabs(x) * 4e-16;
    Require(std::fabs(LeadingNumber(text) - x) <= tolerance);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0) {
        double x = 0;
        std::memcpy(&x, data + 1, std::min(size - 1, sizeof x));
        CheckValueText(ValueText(x), x);
        return 0;
    }
    if (size < 3)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    const QString reading = QString::fromLatin1(bytes.left(data[1] % 32));
    const QString gain = QString::fromLatin1(bytes.mid(reading.size(), data[2] % 32));
    const QString zero = QString::fromLatin1(bytes.mid(reading.size() + gain.size()));
    const QString text = ChannelValueText(reading, gain, zero);
    if (reading == NoDataReading)
        Require(text == NoDataText);
    else if (reading.size() >= 3 && reading[2] == u'=')
        Require(text == InvalidValueText);
    else
        CheckValueText(text, (LeadingNumber(reading) - LeadingNumber(zero)) * LeadingNumber(gain) / 1000.0);
    return 0;
}
