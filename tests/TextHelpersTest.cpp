#include "common/TextHelpers.h"

#include <QLocale>

#include <clocale>
#include <cmath>

#include "TestSupport.h"

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

INSTANTIATE_TEST_SUITE_P(
    AwkwardTexts, LeadingNumberTable,
    ::testing::Values(
        NumberCase{"Plain", "12345", 12345}, NumberCase{"SignedReading", "+0012345", 12345},
        NumberCase{"Negative", "-0000500", -500}, NumberCase{"Empty", "", 0}, NumberCase{"Letters", "abc", 0},
        NumberCase{"LoneSign", "-", 0}, NumberCase{"LonePoint", ".", 0},
        NumberCase{"FractionOnly", ".5", 0.5}, NumberCase{"TrailingPoint", "7.", 7},
        NumberCase{"LeadingBlanks", "   4", 4}, NumberCase{"BlankBetweenSignAndDigits", "- 12", -12},
        NumberCase{"BlanksBetweenDigits", "1 2 3", 123}, NumberCase{"TabsAndLineFeeds", "\t1\n2.\t5", 12.5},
        NumberCase{"CarriageReturnEndsIt", "12\r3", 12}, NumberCase{"CommaEndsIt", "1,5", 1},
        NumberCase{"SecondPointEndsIt", "1.2.3", 1.2}, NumberCase{"EqualsEndsIt", "12=45", 12},
        NumberCase{"ExponentE", "1.5E3", 1500}, NumberCase{"ExponentLowerD", "2d-2", 0.02},
        NumberCase{"ExponentUpperDPlus", "3D+1", 30}, NumberCase{"ExponentWithBlanks", "1 E 2", 100},
        NumberCase{"ExponentMarkWithoutDigits", "5E", 5}, NumberCase{"ExponentSignWithoutDigits", "5e-x", 5},
        NumberCase{"UnderflowIsZero", "1e-999", 0}, NumberCase{"DoubleSignIsNoNumber", "+-3", 0},
        NumberCase{"SignThenLetter", "+x1", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LeadingNumber, TooLargeAnExponentGivesAnInfinity) {
    EXPECT_TRUE(std::isinf(LeadingNumber("1e999")));
    EXPECT_GT(LeadingNumber("1e999"), 0);
    EXPECT_LT(LeadingNumber("-1D999"), 0);
}

TEST(LeadingNumber, PointIsTheSeparatorWhateverTheRegionalSettings) {
    // The toolkit adopts the user's locale for the C library; a German
    // LC_NUMERIC must not turn "1.5" into 1 nor "1,5" into 1.5.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    EXPECT_DOUBLE_EQ(LeadingNumber("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("1,5"), 1.0);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(2.4999), 2);
    EXPECT_EQ(RoundHalfEven(9.5), 10);
}

TEST(RoundHalfEven, ExtremeValuesDoNotOverflow) {
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
    EXPECT_EQ(RoundHalfEven(INFINITY), std::numeric_limits<long long>::max());
    EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<long long>::min());
}

TEST(TextShapes, TrimRemovesBlanksOnly) {
    EXPECT_EQ(TrimBlanks("  1.250   "), "1.250");
    EXPECT_EQ(TrimBlanks("\t1 "), "\t1");
    EXPECT_EQ(TrimBlanks("     "), "");
    EXPECT_EQ(TrimBlanks(""), "");
}

TEST(TextShapes, FixedTextPadsOrCuts) {
    EXPECT_EQ(FixedText("ab", 5), "ab   ");
    EXPECT_EQ(FixedText("1.23456789", 9), "1.2345678");
    EXPECT_EQ(FixedText("", 3), "   ");
}

TEST(TextShapes, TimeAndDateStamps) {
    EXPECT_EQ(TimeText(QTime(1, 2, 3)), "01:02:03");
    EXPECT_EQ(TimeText(QTime(23, 59, 59, 999)), "23:59:59");
    EXPECT_EQ(DateStamp(QDate(2026, 12, 6)), "06-12-2026");
    EXPECT_EQ(DateStamp(QDate(2009, 1, 1)), "01-01-2009");
}
