// Any bytes, read as a Latin-1 text: LeadingNumber must neither crash nor read
// outside the text, and what it returns must be a number or an infinity.
#include "common/TextHelpers.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace tarvek;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double value = LeadingNumber(text);
    if (std::isnan(value))
        std::abort();
    (void)RoundHalfEven(value);
    return 0;
}
