// Numbers in and out: reading a number at the start of a text, the value
// texts, a reading through gain and zero, in any locale; the clock's texts.
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"

#include "support/TestSupport.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <limits>
#include <string>
#include <tuple>

using namespace tarvek;

namespace {

TEST(ValueTextTable, GivesTheNineCharacterText) {
    using V = std::tuple<const char*, double, const char*>;
    const V rows[] = {
        // Three decimals, sign always written, right-aligned.
        V{"Positive", 12.345, "  +12.345"}, V{"NegativeHalf", -0.5, "   -0.500"},
        V{"NegativeZeroIsAnExactZero", -0.0, "   +0.000"}, V{"WidestPositive", 9999.999, "+9999.999"},
        // Halves go away from zero on the decimal value, not on the binary one
        // (1.0005 is held as 1.000499999...).
        V{"HalfUpAboveBinary", 1.0005, "   +1.001"}, V{"JustBelowHalf", 2.0004999, "   +2.000"},
        V{"CarryThroughNines", 9.9995, "  +10.000"},
        // A negative value that rounds to zero keeps its "-".
        V{"NegativeRoundingToZero", -0.0004, "   -0.000"},
        // Too wide for three decimals: decimals give way, sign and value stay.
        V{"FiveDigitsNegative", -12345.678, "-12345.68"}, V{"SevenDigitsNegative", -1234567.4, " -1234567"},
        V{"EightDigits", 99999999.4, "+99999999"}, V{"RoundsUpIntoFiveDigits", 9999.9996, "+10000.00"},
        V{"RoundedOnceFromTheValue", -12345.6745, "-12345.67"},
        // Nothing fits.
        V{"RoundsUpToNineDigits", 99999999.5, " ======= "},
        V{"Infinity", std::numeric_limits<double>::infinity(), " ======= "},
        V{"NotANumber", std::numeric_limits<double>::quiet_NaN(), " ======= "}};
    for (const auto& [name, x, text] : rows)
        EXPECT_EQ(ValueText(x), QString::fromLatin1(text)) << name;
}

TEST(ChannelValueTable, ReadsReadingGainAndZero) {
    using R = std::tuple<const char*, const char*, const char*, const char*, const char*>;
    const R rows[] = {// Reading, gain, zero: the value text. Marker readings are matched exactly.
                      R{"ZeroBeforeGain", "1100", "2", "100", "   +2.000"},
                      R{"NoData", "No Data", "2", "100", " No Data "},
                      R{"NoDataWithBlank", "No Data ", "1", "0", "   +0.000"},
                      R{"ThirdCharacterEquals", "12=45678", "1", "0", " ======= "},
                      R{"OnlyThreeCharacters", "+0=", "1", "0", " ======= "},
                      R{"EqualsElsewhere", "1=345678", "1", "0", "   +0.001"},
                      // Unreadable texts read as 0, or up to the first character that does not fit.
                      R{"EmptyReading", "", "2", "100", "   -0.200"},
                      R{"GainWithComma", "+0001000", "1,5", "0", "   +1.000"},
                      // An infinite gain on a zero difference.
                      R{"GainOverflowsOnZero", "0", "1E999", "0", " ======= "}};
    for (const auto& [name, reading, gain, zero, value] : rows)
        EXPECT_EQ(ChannelValueText(reading, gain, zero), QString::fromLatin1(value)) << name;
    // A register's tenths of a degree, its zero in the register's own units.
    EXPECT_EQ(ChannelValueText("215", "0.1", "5", RegisterReadingsPerUnit), "  +21.000");
}

TEST(ElaborateReadings, EachChannelUsesItsOwnGainAndZero) {
    Declarations state;
    for (int i = 1; i <= 8; ++i) {
        state.ChannelReading[i] =
            i == 4 ? NoDataReading : QStringLiteral("+%1").arg(1000 + i, 7, 10, QChar(u'0'));
        state.SetUp.ChannelParam[i][Declarations::Gain] = state.SetUp.ChannelParam[i][Declarations::Zero] =
            QString::number(i);
    }
    ElaborateReadings(state);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(state.ChannelValue[i], i == 4 ? " No Data " : QStringLiteral("   +%1.000").arg(i)) << i;
}

// The toolkit adopts the user's regional settings for the C library; "." must
// stay the separator of what is read and of what is written. Without an
// installed locale that uses a decimal comma, one is compiled for the test
// (in Latin-1: a quarter of the time of UTF-8).
TEST(RegionalSettings, PointIsTheSeparatorWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    QTemporaryDir compiled;
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") &&
        QProcess::execute("localedef", {"-c", "-i", "de_DE", "-f", "ISO-8859-1",
                                        compiled.filePath("de_DE.ISO-8859-1")}) >= 0) {
        qputenv("LOCPATH", QFile::encodeName(compiled.path()));
        std::setlocale(LC_ALL, "de_DE.ISO-8859-1");
        qunsetenv("LOCPATH");
    }
    if (std::localeconv()->decimal_point != std::string(","))
        GTEST_SKIP() << "no locale with a decimal comma";
    const QString pointThenComma =
        ChannelValueText("+0001500", "1.5", "0") + ChannelValueText("+0001500", "1,5", "0");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(pointThenComma, "   +2.250   +1.500");
}

TEST(LeadingNumberTable, ReadsTheNumberAtTheStartOfAText) {
    using N = std::tuple<const char*, const char*, double>;
    const N rows[] = {// Blanks, tabs and line feeds within the number are passed over.
                      N{"SignedReading", "+0012345", 12345}, N{"Empty", "", 0}, N{"FractionOnly", ".5", 0.5},
                      N{"BlankBetweenSignAndDigits", "- 12", -12}, N{"BlanksBetweenDigits", "1 2 3", 123},
                      N{"TabsAndLineFeeds", "\t1\n2.\t5", 12.5}, N{"CarriageReturnEndsIt", "12\r3", 12},
                      N{"CommaEndsIt", "1,5", 1}, N{"SecondPointEndsIt", "1.2.3", 1.2},
                      N{"EqualsEndsIt", "12=45", 12},
                      // E, e, D or d before the exponent.
                      N{"ExponentE", "1.5E3", 1500}, N{"ExponentLowerD", "2d-2", 0.02},
                      N{"ExponentWithBlanks", "1 E 2", 100}, N{"ExponentMarkWithoutDigits", "5E", 5},
                      N{"ExponentSignWithoutDigits", "5e-x", 5}, N{"DoubleSignIsNoNumber", "+-3", 0},
                      N{"OverflowIsInfinite", "-1D999", -std::numeric_limits<double>::infinity()}};
    for (const auto& [name, text, value] : rows)
        EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromLatin1(text)), value) << name;
}

// The clock tick acts once per wall-clock second, with the date of the same
// reading of the clock: now and the last tick's time; the time, the date,
// whether the second is new.
TEST(ClockReadingTable, ActsOncePerSecondWithTheDateOfTheSameReading) {
    const std::tuple<const char*, QDateTime, const char*, const char*> rows[] = {
        {"SameSecond", {{2008, 3, 5}, {10, 15, 30, 800}}, "10:15:30", "10:15:30 05-03-2008"},
        {"NextSecond", {{2008, 3, 5}, {10, 15, 31}}, "10:15:30", "10:15:31 05-03-2008 new"},
        {"Midnight", {{2009, 1, 1}, {0, 0, 0}}, "23:59:59", "00:00:00 01-01-2009 new"},
        {"FirstTick", {{987, 12, 9}, {7, 5, 3}}, "", "07:05:03 09-12-0987 new"}};
    for (const auto& [name, now, last, want] : rows) {
        const ClockReading r = ReadClock(now, last);
        EXPECT_EQ(r.time + ' ' + r.today + (r.newSecond ? " new" : ""), QString(want)) << name;
    }
}

} // namespace
