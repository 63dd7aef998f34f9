#pragma once

#include <QString>

#include <optional>

namespace tarvek {

// One alarm limit field of the channel set-up. A blank field is no limit. A
// limit is a plain decimal number: `-12.5`, `+3`, `10`, `.5` and `7.` are;
// `1e3`, `1,5` and `.` are not, and read as unreadable.
struct LimitField {
    enum class Kind { Blank, Number, Unreadable };
    Kind kind = Kind::Blank;
    double value = 0; // the number, for Kind::Number
    QString text;     // the field without its surrounding blanks
    bool IsNumber() const { return kind == Kind::Number; }
};
LimitField ParseLimit(const QString& field);

// A channel's alarm limits; either may be missing. A value exactly at a
// limit is inside.
struct ChannelLimits {
    std::optional<double> low, high;
    bool Any() const { return low || high; }
    bool Below(double v) const { return low && v < *low; }
    bool Above(double v) const { return high && v > *high; }
};

} // namespace tarvek
