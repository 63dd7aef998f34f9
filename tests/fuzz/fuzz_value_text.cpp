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

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// The text of value x: " ======= " when nothing fits, otherwise blanks, a
// sign ("-" exactly when x < 0), digits, and "." with up to three decimals.
void CheckValueText(const QString& text, double x) {
    Require(text.size() == ValueWidth);
    Require(text != NoDataText);
    // Beyond 8 digits before the point nothing fits in 9 characters.
    if (text == InvalidValueText) {
        Require(!std::isfinite(x) || std::fabs(x) >= 99999999.49);
        return;
    }
    Require(std::isfinite(x) && std::fabs(x) < 99999999.51);

    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    Require(i < text.size());
    Require(text[i] == (x < 0 ? u'-' : u'+'));
    ++i;
    int before = 0, decimals = -1;
    for (; i < text.size(); ++i) {
        if (text[i] == u'.') {
            Require(decimals < 0);
            decimals = 0;
        } else {
            Require(text[i] >= u'0' && text[i] <= u'9');
            (decimals < 0 ? before : decimals)++;
        }
    }
    Require(before >= 1);
    Require(decimals != 0); // never a bare point
    if (decimals < 0)
        decimals = 0;
    Require(decimals <= ValueDecimals);
    // Decimals give way only when the text would not fit with one more.
    if (decimals < ValueDecimals)
        Require(TrimBlanks(text).size() >= ValueWidth - 1);

    const double back = LeadingNumber(text);
    const double tolerance = 0.5 * std::pow(10.0, -decimals) * (1 + 1e-12) + std::fabs(x) * 4e-16;
    Require(std::fabs(back - x) <= tolerance);
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
    const auto* bytes = reinterpret_cast<const char*>(data + 3);
    const qsizetype available = qsizetype(size - 3);
    const qsizetype readingLength = std::min<qsizetype>(data[1] % 32, available);
    const qsizetype gainLength = std::min<qsizetype>(data[2] % 32, available - readingLength);
    const QString reading = QString::fromLatin1(bytes, readingLength);
    const QString gain = QString::fromLatin1(bytes + readingLength, gainLength);
    const QString zero =
        QString::fromLatin1(bytes + readingLength + gainLength, available - readingLength - gainLength);

    const QString text = ChannelValueText(reading, gain, zero);
    if (reading == NoDataReading) {
        Require(text == NoDataText);
    } else if (reading.size() >= 3 && reading[2] == u'=') {
        Require(text == InvalidValueText);
    } else {
        const double x = (LeadingNumber(reading) - LeadingNumber(zero)) * LeadingNumber(gain) / 1000.0;
        CheckValueText(text, x);
    }
    return 0;
}
