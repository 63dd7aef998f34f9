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

struct ValueCase {
    const char* name;
    double x;
    const char* text;
};

class ValueTextTable : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTextTable, GivesTheNineCharacterText) {
    EXPECT_EQ(ValueText(GetParam().x), QString::fromLatin1(GetParam().text));
}

using Value = ValueCase;
INSTANTIATE_TEST_SUITE_P(
    Values, ValueTextTable,
    ::testing::Values(
        // Three decimals, sign always written, right-aligned.
        Value{"Positive", 12.345, "  +12.345"}, Value{"NegativeHalf", -0.5, "   -0.500"},
        Value{"NegativeZeroIsAnExactZero", -0.0, "   +0.000"}, Value{"WidestPositive", 9999.999, "+9999.999"},
        // Halves go away from zero on the decimal value, not on the binary one
        // (1.0005 is held as 1.000499999..., 1.2345 as 1.234499999...).
        Value{"HalfUpAboveBinary", 1.0005, "   +1.001"}, Value{"HalfBelowBinary", 1.2345, "   +1.235"},
        Value{"JustBelowHalf", 2.0004999, "   +2.000"}, Value{"CarryThroughNines", 9.9995, "  +10.000"},
        // A negative value that rounds to zero keeps its "-".
        Value{"NegativeRoundingToZero", -0.0004, "   -0.000"},
        // Too wide for three decimals: decimals give way, sign and value stay.
        Value{"FiveDigitsNegative", -12345.678, "-12345.68"},
        Value{"SevenDigitsNegative", -1234567.4, " -1234567"}, Value{"EightDigits", 99999999.4, "+99999999"},
        Value{"RoundsUpIntoFiveDigits", 9999.9996, "+10000.00"},
        Value{"RoundedOnceFromTheValue", -12345.6745, "-12345.67"},
        // Nothing fits.
        Value{"RoundsUpToNineDigits", 99999999.5, " ======= "},
        Value{"Infinity", std::numeric_limits<double>::infinity(), " ======= "},
        Value{"NotANumber", std::numeric_limits<double>::quiet_NaN(), " ======= "}),
    RowName);

struct ReadingCase {
    const char* name;
    const char* reading;
    const char* gain;
    const char* zero;
    const char* value;
    double readingsPerUnit = InstrumentReadingsPerUnit;
};

class ChannelValueTable : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ChannelValueTable, ReadsReadingGainAndZero) {
    const ReadingCase& c = GetParam();
    EXPECT_EQ(ChannelValueText(c.reading, c.gain, c.zero, c.readingsPerUnit), QString::fromLatin1(c.value));
}

using Reading = ReadingCase;
INSTANTIATE_TEST_SUITE_P(
    Readings, ChannelValueTable,
    ::testing::Values(Reading{"ZeroBeforeGain", "1100", "2", "100", "   +2.000"},
                      // Marker readings, matched exactly.
                      Reading{"NoData", "No Data", "2", "100", " No Data "},
                      Reading{"NoDataWithBlank", "No Data ", "1", "0", "   +0.000"},
                      Reading{"ThirdCharacterEquals", "12=45678", "1", "0", " ======= "},
                      Reading{"OnlyThreeCharacters", "+0=", "1", "0", " ======= "},
                      Reading{"EqualsElsewhere", "1=345678", "1", "0", "   +0.001"},
                      // Unreadable texts read as 0, or up to the first character that does not fit.
                      Reading{"EmptyReading", "", "2", "100", "   -0.200"},
                      Reading{"GainWithComma", "+0001000", "1,5", "0", "   +1.000"},
                      // An infinite gain on a zero difference.
                      Reading{"GainOverflowsOnZero", "0", "1E999", "0", " ======= "},
                      // A register's tenths of a degree, its zero in the register's own units.
                      Reading{"RegisterAsItStands", "215", "0.1", "5", "  +21.000", RegisterReadingsPerUnit}),
    RowName);

TEST(ElaborateReadings, EachChannelUsesItsOwnGainAndZero) {
    Declarations state;
    for (int i = 1; i <= 8; ++i) {
        state.ChannelReading[i] = QStringLiteral("+%1").arg(1000 + i, 7, 10, QChar(u'0'));
        state.SetUp.ChannelParam[i][Declarations::Gain] = state.SetUp.ChannelParam[i][Declarations::Zero] =
            QString::number(i);
    }
    state.ChannelReading[4] = NoDataReading;
    ElaborateReadings(state);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(state.ChannelValue[i], i == 4 ? " No Data " : QStringLiteral("   +%1.000").arg(i))
            << "channel " << i;
}

// The toolkit adopts the user's regional settings for the C library; "." must
// stay the separator of what is read and of what is written. Without an
// installed locale that uses a decimal comma, one is compiled for the test.
TEST(RegionalSettings, PointIsTheSeparatorWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    QTemporaryDir compiled;
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") &&
        QProcess::execute("localedef",
                          {"-c", "-i", "de_DE", "-f", "UTF-8", compiled.filePath("de_DE.UTF-8")}) >= 0) {
        qputenv("LOCPATH", QFile::encodeName(compiled.path()));
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        qunsetenv("LOCPATH");
    }
    if (std::localeconv()->decimal_point != std::string(","))
        GTEST_SKIP() << "no locale with a decimal comma";
    const QString fromPoint = ChannelValueText("+0001500", "1.5", "0");
    const QString fromComma = ChannelValueText("+0001500", "1,5", "0");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(fromPoint, "   +2.250");
    EXPECT_EQ(fromComma, "   +1.500");
}

struct NumberCase {
    const char* name;
    const char* text;
    double value;
};

class LeadingNumberTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTable, ReadsTheNumberAtTheStartOfAText) {
    const NumberCase& c = GetParam();
    EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromLatin1(c.text)), c.value) << "text: [" << c.text << "]";
}

using Number = NumberCase;
INSTANTIATE_TEST_SUITE_P(
    AwkwardTexts, LeadingNumberTable,
    ::testing::Values(
        Number{"SignedReading", "+0012345", 12345}, Number{"Empty", "", 0}, Number{"FractionOnly", ".5", 0.5},
        Number{"BlankBetweenSignAndDigits", "- 12", -12}, Number{"BlanksBetweenDigits", "1 2 3", 123},
        Number{"TabsAndLineFeeds", "\t1\n2.\t5", 12.5}, Number{"CarriageReturnEndsIt", "12\r3", 12},
        Number{"CommaEndsIt", "1,5", 1}, Number{"SecondPointEndsIt", "1.2.3", 1.2},
        Number{"EqualsEndsIt", "12=45", 12}, Number{"ExponentE", "1.5E3", 1500},
        Number{"ExponentLowerD", "2d-2", 0.02}, Number{"ExponentWithBlanks", "1 E 2", 100},
        Number{"ExponentMarkWithoutDigits", "5E", 5}, Number{"ExponentSignWithoutDigits", "5e-x", 5},
        Number{"OverflowIsInfinite", "-1D999", -std::numeric_limits<double>::infinity()},
        Number{"DoubleSignIsNoNumber", "+-3", 0}),
    RowName);

// The clock tick acts once per wall-clock second, with the date of the same
// reading of the clock.
struct ClockCase {
    const char* name;
    QDateTime now;
    const char* lastTickTime;
    const char* time;
    const char* today;
    bool newSecond;
};

class ClockReadingTable : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockReadingTable, ActsOncePerSecondWithTheDateOfTheSameReading) {
    const ClockCase& c = GetParam();
    const ClockReading reading = ReadClock(c.now, c.lastTickTime);
    EXPECT_EQ(std::tie(reading.time, reading.today, reading.newSecond),
              std::make_tuple(QString(c.time), QString(c.today), c.newSecond));
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, ClockReadingTable,
    ::testing::Values(
        ClockCase{
            "SameSecond", {{2008, 3, 5}, {10, 15, 30, 800}}, "10:15:30", "10:15:30", "05-03-2008", false},
        ClockCase{"NextSecond", {{2008, 3, 5}, {10, 15, 31}}, "10:15:30", "10:15:31", "05-03-2008", true},
        ClockCase{"Midnight", {{2009, 1, 1}, {0, 0, 0}}, "23:59:59", "00:00:00", "01-01-2009", true},
        ClockCase{"FirstTick", {{987, 12, 9}, {7, 5, 3}}, "", "07:05:03", "09-12-0987", true}),
    RowName);

} // namespace
