#include "common/TextHelpers.h"

#include <limits>

#include "TestSupport.h"

namespace {

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
    ::testing::Values(Number{"SignedReading", "+0012345", 12345}, Number{"Negative", "-0000500", -500},
                      Number{"Empty", "", 0}, Number{"LonePoint", ".", 0}, Number{"FractionOnly", ".5", 0.5},
                      Number{"TrailingPoint", "7.", 7}, Number{"BlankBetweenSignAndDigits", "- 12", -12},
                      Number{"BlanksBetweenDigits", "1 2 3", 123},
                      Number{"TabsAndLineFeeds", "\t1\n2.\t5", 12.5},
                      Number{"CarriageReturnEndsIt", "12\r3", 12}, Number{"CommaEndsIt", "1,5", 1},
                      Number{"SecondPointEndsIt", "1.2.3", 1.2}, Number{"EqualsEndsIt", "12=45", 12},
                      Number{"ExponentE", "1.5E3", 1500}, Number{"ExponentLowerD", "2d-2", 0.02},
                      Number{"ExponentUpperDPlus", "3D+1", 30}, Number{"ExponentWithBlanks", "1 E 2", 100},
                      Number{"ExponentMarkWithoutDigits", "5E", 5},
                      Number{"ExponentSignWithoutDigits", "5e-x", 5}, Number{"UnderflowIsZero", "1e-999", 0},
                      Number{"OverflowIsInfinite", "-1D999", -std::numeric_limits<double>::infinity()},
                      Number{"DoubleSignIsNoNumber", "+-3", 0}, Number{"SignThenLetter", "+x1", 0}),
    RowName);

} // namespace
