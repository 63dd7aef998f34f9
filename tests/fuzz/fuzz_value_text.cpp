// Any double (the first 8 bytes of the input): its value text is always
// exactly 9 characters in one of its three forms, and a number reads back
// within the rounding of its decimals. The same bytes as a Latin-1 text:
// LeadingNumber reads nothing outside it and gives a number or an infinity.
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace tarvek;

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
    double x = 0;
    std::memcpy(&x, data, std::min(size, sizeof x));
    CheckValueText(ValueText(x), x);
    const double read =
        LeadingNumber(QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size)));
    Require(!std::isnan(read));
    (void)RoundHalfEven(read);
    return 0;
}
