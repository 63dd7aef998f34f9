#include "data/StoringData.h"

#include "support/TestSupport.h"

#include <string>

using namespace tarvek;

namespace {

// One row per instant: whether a record is due for rates 0 to 9, in order.
struct InstantCase {
    const char* time;
    const char* dueByRate; // "0123456789"
};
inline void PrintTo(const InstantCase& row, std::ostream* os) {
    *os << row.time;
}

class StorageScheduleTable : public ::testing::TestWithParam<InstantCase> {};

TEST_P(StorageScheduleTable, DueAtTheInstantsTheRateNames) {
    const InstantCase& c = GetParam();
    for (int rate = 0; rate <= 9; ++rate)
        EXPECT_EQ(IsStoreDue(rate, c.time), c.dueByRate[rate] == '1') << "rate " << rate << " at " << c.time;
    for (int rate : {-1, 10, 32767})
        EXPECT_FALSE(IsStoreDue(rate, c.time)) << "rate " << rate;
}

INSTANTIATE_TEST_SUITE_P(Instants, StorageScheduleTable,
                         ::testing::Values(
                             //                      rate 0123456789
                             InstantCase{"10:15:30", "0100000000"}, InstantCase{"10:15:15", "0000000000"},
                             InstantCase{"10:15:00", "0111000000"}, InstantCase{"10:25:00", "0111000000"},
                             InstantCase{"10:25:30", "0100000000"}, InstantCase{"10:27:00", "0110000000"},
                             InstantCase{"10:30:00", "0111110000"}, InstantCase{"10:40:00", "0111100000"},
                             InstantCase{"11:00:00", "0111111000"}, InstantCase{"06:00:00", "0111111100"},
                             InstantCase{"18:00:00", "0111111100"}, InstantCase{"18:30:00", "0111110000"},
                             InstantCase{"00:00:00", "0111111110"}, InstantCase{"12:00:00", "0111111111"},
                             InstantCase{"12:00:15", "0000000000"}),
                         [](const auto& row) {
                             return QString("T%1").arg(row.param.time).remove(':').toStdString();
                         });

} // namespace
