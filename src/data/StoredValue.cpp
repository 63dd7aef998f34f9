#include "data/StoredValue.h"

namespace tarvek {

QByteArray StoredValue::Text() const {
    char text[12];
    return QByteArray(text, WriteText(text));
}

int StoredValue::WriteText(char* out) const {
    if (IsGap())
        return 0;
    const std::int32_t digits = Digits();
    std::uint32_t rest = digits < 0 ? std::uint32_t(-digits) : std::uint32_t(digits);
    // The digits backwards, the point after `decimals` of them, at least one
    // digit before the point.
    char reversed[12];
    int n = 0;
    const int decimals = Decimals();
    do {
        if (n == decimals && decimals > 0)
            reversed[n++] = '.';
        reversed[n++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0 || n <= decimals);
    int length = 0;
    if (digits < 0)
        out[length++] = '-';
    while (n > 0)
        out[length++] = reversed[--n];
    return length;
}

} // namespace tarvek
