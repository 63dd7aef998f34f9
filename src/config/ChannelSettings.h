#pragma once

#include "common/Channels.h"
#include "common/SharedFile.h"

#include <QString>

#include <array>
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

// A channel's alarm limits in use, as every program uses them: a value under
// `below` (the minimum) is below, one over `above` (the maximum) above; a
// value at a limit is inside. Either may be missing.
struct ChannelLimits {
    std::optional<double> below, above;
    QString unusable; // why the set-up's pair gives none (LimitsOf), else empty
    bool Any() const { return below || above; }
    // `margin` is how far inside a value must come back (a deadband).
    bool Below(double v, double margin = 0) const { return below && v < *below + margin; }
    bool Above(double v, double margin = 0) const { return above && v > *above - margin; }
};
// The limits of channel `c`'s (from 1) alarm minimum and maximum: a field
// that is blank or no number is no limit; a minimum not below the maximum
// makes the pair unusable, no alarm and no line for either, and `unusable`
// says so: "Ch.3 alarm minimum 10 not below maximum 5".
ChannelLimits LimitsOf(const LimitField& minimum, const LimitField& maximum, int c);

// A channel's set-up as the programs beside the logger show and use it.
struct ChannelSettings {
    QString name;         // the description, else DefaultChannelName
    QString unit;         // the unit, else DefaultUnit
    bool unitSet = false; // the set-up names the unit
    bool active = false;  // the active flag is "1"
    LimitField minimum, maximum;
    ChannelLimits limits; // LimitsOf(minimum, maximum)
    QString Heading() const { return name + QStringLiteral(" [") + unit + u']'; }
};

// Channels 1..8 (index k = 0..7) of the channel parameters file, and why it
// could not be read.
struct ChannelSetUp {
    std::array<ChannelSettings, ChannelCount> channels;
    int errorNumber = 0; // of the failed open or read: ENOENT for no file
    QString problem;     // "<path>: cannot open (<reason>)", "<path>: cannot read (<reason>)"
    bool Read() const { return problem.isEmpty(); }
};

// Reads `settingFolder`'s channel parameters file read-only, without
// blocking or locking, regular files only, links as `links` says. Where the
// file or a record is missing, or a field is blank, a channel reads as
// "Ch.n", "Bar", inactive and without limits; control characters (C0, DEL,
// C1) are dropped from names and units.
ChannelSetUp ReadChannelSettings(const QString& settingFolder, LinkPolicy links);

} // namespace tarvek
