#include "data/ElaborationData.h"

#include "common/TextHelpers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace tarvek {

namespace {

// |x| * 10^decimals rounded half away from zero, as decimal digits without
// leading zeros ("0" for zero). The rounding applies to the shortest decimal
// text that reads back as x, never to the binary value, so a value typed as
// 1.0005 rounds up although the double holding it is 1.000499999...
// Callers keep |x| below 1e9, so the result has at most a dozen digits.
std::string ScaledDigits(double x, int decimals) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x), std::chars_format::scientific);
    const std::string text(buffer, result.ptr);

    // "d.ddddde±xx": the significant digits and the power of ten of the first.
    const std::size_t mark = text.find('e');
    std::string digits;
    for (std::size_t i = 0; i < mark; ++i)
        if (text[i] != '.')
            digits += text[i];
    const int exponent = std::atoi(text.c_str() + mark + 1);

    // Digits that lie before the point once scaled by 10^decimals.
    const int kept = exponent + 1 + decimals;
    if (kept >= static_cast<int>(digits.size()))
        return digits == "0" ? digits : digits + std::string(kept - digits.size(), '0');
    if (kept < 0)
        return "0";

    std::string scaled = digits.substr(0, kept);
    if (digits[kept] >= '5') {
        int i = kept - 1;
        for (; i >= 0 && scaled[i] == '9'; --i)
            scaled[i] = '0';
        if (i >= 0)
            ++scaled[i];
        else
            scaled.insert(scaled.begin(), '1');
    }
    return scaled.empty() ? "0" : scaled;
}

// "-" or "+", the integer digits, and for decimals > 0 the point and decimals.
std::string SignedText(double x, int decimals) {
    std::string digits = ScaledDigits(x, decimals);
    if (static_cast<int>(digits.size()) <= decimals)
        digits.insert(0, decimals + 1 - digits.size(), '0');
    std::string text = x < 0 ? "-" : "+";
    text += digits.substr(0, digits.size() - decimals);
    if (decimals > 0)
        text += '.' + digits.substr(digits.size() - decimals);
    return text;
}

} // namespace

QString ValueText(double x) {
    // Nothing from a billion up fits 9 characters with its sign.
    if (!std::isfinite(x) || std::fabs(x) >= 1e9)
        return InvalidValueText;
    for (int decimals = ValueDecimals; decimals >= 0; --decimals) {
        const std::string text = SignedText(x, decimals);
        if (static_cast<int>(text.size()) <= ValueWidth)
            return QString::fromLatin1(text).rightJustified(ValueWidth, u' ');
    }
    return InvalidValueText;
}

QString ChannelValueText(const QString& reading, const QString& gain, const QString& zero,
                         double readingsPerUnit) {
    if (reading == NoDataReading)
        return NoDataText;
    if (reading.size() >= 3 && reading[2] == u'=')
        return InvalidValueText;
    const double r = LeadingNumber(reading);
    const double g = LeadingNumber(gain);
    const double z = LeadingNumber(zero);
    return ValueText((r - z) * g / readingsPerUnit);
}

void ElaborateReadings(Declarations& state, double readingsPerUnit) {
    for (int i = 1; i <= Declarations::ChannelCount; ++i)
        state.ChannelValue[i] =
            ChannelValueText(state.ChannelReading[i], state.SetUp.ChannelParam[i][Declarations::Gain],
                             state.SetUp.ChannelParam[i][Declarations::Zero], readingsPerUnit);
}

} // namespace tarvek
