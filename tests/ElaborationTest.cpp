#include "data/ElaborationData.h"

#include "TestSupport.h"

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

struct ValueCase {
    const char* name;
    double x;
    const char* text;
};

class ValueTextTable : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTextTable, GivesTheNineCharacterText) {
    const ValueCase& c = GetParam();
    const QString text = ValueText(c.x);
    EXPECT_EQ(text, QString::fromLatin1(c.text));
    EXPECT_EQ(text.size(), ValueWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueTextTable,
    ::testing::Values(
        // Three decimals, sign always written, right-aligned.
        ValueCase{"Positive", 12.345, "  +12.345"}, ValueCase{"NegativeHalf", -0.5, "   -0.500"},
        ValueCase{"Zero", 0.0, "   +0.000"}, ValueCase{"NegativeZeroIsAnExactZero", -0.0, "   +0.000"},
        ValueCase{"Whole", 2.0, "   +2.000"}, ValueCase{"WidestPositive", 9999.999, "+9999.999"},
        // Halves go away from zero on the decimal value, not on the binary one
        // (1.0005 is held as 1.000499999..., 1.2345 as 1.234499999...).
        ValueCase{"HalfUpAboveBinary", 1.0005, "   +1.001"},
        ValueCase{"HalfDownAboveBinary", -1.0005, "   -1.001"},
        ValueCase{"HalfBelowBinary", 1.2345, "   +1.235"}, ValueCase{"JustBelowHalf", 2.0004999, "   +2.000"},
        ValueCase{"CarryThroughNines", 9.9995, "  +10.000"},
        // A negative value that rounds to zero keeps its "-".
        ValueCase{"NegativeRoundingToZero", -0.0004, "   -0.000"}, ValueCase{"Tiny", -1e-300, "   -0.000"},
        // Too wide for three decimals: decimals give way, sign and value stay.
        ValueCase{"FiveDigitsPositive", 12345.678, "+12345.68"},
        ValueCase{"FiveDigitsNegative", -12345.678, "-12345.68"},
        ValueCase{"SixDigits", 123456.7, "+123456.7"},
        ValueCase{"SevenDigitsNegative", -1234567.4, " -1234567"},
        ValueCase{"RoundsUpIntoFiveDigits", 9999.9996, "+10000.00"},
        ValueCase{"RoundsUpIntoSixDigits", 99999.996, "+100000.0"},
        ValueCase{"RoundedOnceFromTheValue", -12345.6745, "-12345.67"},
        ValueCase{"EightDigits", 99999999.4, "+99999999"},
        // Nothing fits.
        ValueCase{"RoundsUpToNineDigits", 99999999.5, " ======= "},
        ValueCase{"NineDigits", -123456789.0, " ======= "}, ValueCase{"Huge", 1e300, " ======= "},
        ValueCase{"Infinity", Inf, " ======= "},
        ValueCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), " ======= "}),
    [](const auto& info) { return std::string(info.param.name); });

// Exact thousandths and the halves between them over the whole range of
// three-decimal texts, against the text built from their digits.
TEST(ValueTextSweep, ThousandthsAndHalvesOverTheWholeRange) {
    const auto expected = [](long long tenThousandths) { // rounded half away from zero
        const long long thousandths = (std::llabs(tenThousandths) + 5) / 10;
        return QStringLiteral("%1%2.%3")
            .arg(tenThousandths < 0 ? "-" : "+")
            .arg(thousandths / 1000)
            .arg(thousandths % 1000, 3, 10, QChar(u'0'))
            .rightJustified(ValueWidth, u' ');
    };
    for (long long k = -99999940; k <= 99999940; k += 4321) {
        const long long halfway = k - k % 10 + (k < 0 ? -5 : 5);
        ASSERT_EQ(ValueText(double(k - k % 10) / 10000.0), expected(k - k % 10)) << "k = " << k;
        ASSERT_EQ(ValueText(double(halfway) / 10000.0), expected(halfway)) << "halfway = " << halfway;
    }
}

TEST(ValueTextLocale, PointWhateverTheRegionalSettings) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* commaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8", "de_DE", "it_IT"};
    const char* used = nullptr;
    for (const char* name : commaLocales)
        if (std::setlocale(LC_ALL, name)) {
            used = name;
            break;
        }
    if (!used)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const QString text = ValueText(-1.5);
    const QString fromReading = ChannelValueText("+0001500", "1,5", "0");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(text, "   -1.500") << used;
    EXPECT_EQ(fromReading, "   +1.500") << used;
}

struct ReadingCase {
    const char* name;
    const char* reading;
    const char* gain;
    const char* zero;
    const char* value;
};

class ChannelValueTable : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(ChannelValueTable, ReadsReadingGainAndZero) {
    const ReadingCase& c = GetParam();
    const QString value = ChannelValueText(QString::fromLatin1(c.reading), QString::fromLatin1(c.gain),
                                           QString::fromLatin1(c.zero));
    EXPECT_EQ(value, QString::fromLatin1(c.value));
    EXPECT_EQ(value.size(), ValueWidth);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, ChannelValueTable,
    ::testing::Values(ReadingCase{"Scaled", "+0012345", "1", "0", "  +12.345"},
                      ReadingCase{"NegativeReading", "-0000500", "1", "0", "   -0.500"},
                      ReadingCase{"ZeroReading", "00000000", "1", "0", "   +0.000"},
                      ReadingCase{"ZeroBeforeGain", "1100", "2", "100", "   +2.000"},
                      ReadingCase{"DecimalHalfFromReading", "+1000.5", "1", "0", "   +1.001"},
                      // Marker readings.
                      ReadingCase{"NoData", "No Data", "2", "100", " No Data "},
                      ReadingCase{"NoDataWithBlank", "No Data ", "1", "0", "   +0.000"},
                      ReadingCase{"ThirdCharacterEquals", "12=45678", "1", "0", " ======= "},
                      ReadingCase{"OnlyThreeCharacters", "+0=", "1", "0", " ======= "},
                      ReadingCase{"EqualsElsewhere", "1=345678", "1", "0", "   +0.001"},
                      // Short and unreadable readings read as 0.
                      ReadingCase{"EmptyReading", "", "2", "100", "   -0.200"},
                      ReadingCase{"Letters", "ABCDEFGH", "3", "-1000", "   +3.000"},
                      // Gain and zero read up to the first character that does not fit.
                      ReadingCase{"GainWithComma", "+0001000", "1,5", "0", "   +1.000"},
                      ReadingCase{"GainNotANumber", "+0012345", "x", "0", "   +0.000"},
                      ReadingCase{"BlanksInsideTheNumber", "+ 00 12 345", "1", "0", "  +12.345"},
                      // Numbers too large for a double.
                      ReadingCase{"ReadingOverflows", "1E999", "1", "0", " ======= "},
                      ReadingCase{"GainOverflowsOnZero", "0", "1E999", "0", " ======= "},
                      // Too wide for three decimals: the sign stays, decimals give way.
                      ReadingCase{"WideNegative", "-12345678", "1", "0", "-12345.68"},
                      ReadingCase{"WidePositive", "+1234567", "100", "0", "+123456.7"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ElaborateReadings, EachChannelUsesItsOwnGainAndZero) {
    Declarations d;
    for (int i = 1; i <= 8; ++i) {
        d.ChannelReading[i] = QStringLiteral("+%1").arg(1000 + i, 7, 10, QChar(u'0'));
        d.ChannelParam[i][Declarations::Gain] = QString::number(i);
        d.ChannelParam[i][Declarations::Zero] = QString::number(i);
    }
    d.ChannelReading[4] = NoDataReading; // whatever the gain
    d.ChannelParam[4][Declarations::Gain] = "1E999";
    d.ChannelReading[6] = "12=45678";
    d.ChannelValue[9] = "untouched";
    ElaborateReadings(d);
    for (int i = 1; i <= 8; ++i) {
        const QString expected = i == 4   ? " No Data "
                                 : i == 6 ? " ======= "
                                          : QStringLiteral("   +%1.000").arg(i);
        EXPECT_EQ(d.ChannelValue[i], expected) << "channel " << i;
    }
    EXPECT_EQ(d.ChannelValue[9], "untouched");
}

} // namespace
