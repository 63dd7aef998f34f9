#pragma once

#include <QByteArray>

#include <cstdint>

namespace tarvek {

// One stored value as its digits: the number written without its point and
// the count of decimals (so "+12.345" is 12345 with 3, "-12345.68" is
// -1234568 with 2), or one of the two gaps. Packed into 32 bits, since a
// month of eight channels is kept whole in memory: a value text has at most
// eight digits, so the digits need 28 bits and the decimals the other 4.
class StoredValue {
  public:
    enum Gap : std::uint8_t { NoData = 14, Invalid = 15 };

    StoredValue() = default;
    static StoredValue FromDigits(std::int32_t digits, int decimals) {
        return StoredValue(digits * 16 + decimals);
    }
    static StoredValue FromGap(Gap gap) { return StoredValue(gap); }

    bool IsGap() const { return Decimals() >= NoData; }
    bool IsNoData() const { return Decimals() == NoData; }
    std::int32_t Digits() const { return code_ >> 4; }
    int Decimals() const { return code_ & 15; }
    // The value as the double nearest to the stored decimal number.
    // Inline: drawing, statistics and limits ask it of every value.
    double Value() const {
        constexpr double powers[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13};
        return IsGap() ? 0.0 : double(Digits()) / powers[Decimals()];
    }
    // The stored number as plain decimal text: no "+", no leading blanks, the
    // stored decimals kept ("+12.345" gives "12.345", "-0.500" "-0.500").
    // A stored "-0.000" has lost its sign and gives "0.000". Gaps give "".
    QByteArray Text() const;
    // The same text written at `out` (room for 12 characters); its length.
    int WriteText(char* out) const;

    bool operator==(const StoredValue&) const = default;

  private:
    explicit StoredValue(std::int32_t code) : code_(code) {}
    std::int32_t code_ = NoData;
};

} // namespace tarvek
