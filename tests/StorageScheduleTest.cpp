#include "data/StoringData.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

// One row per instant: whether a record is due for rates 0 to 9, in order;
// a rate the set-up does not know is never due.
TEST(StorageSchedule, DueAtTheInstantsTheRateNames) {
    const std::pair<const char*, const char*> rows[] = {
        {"10:15:30", "0100000000"}, {"10:15:15", "0000000000"}, {"10:15:00", "0111000000"},
        {"10:27:00", "0110000000"}, {"10:30:00", "0111110000"}, {"10:40:00", "0111100000"},
        {"11:00:00", "0111111000"}, {"06:00:00", "0111111100"}, {"18:00:00", "0111111100"},
        {"00:00:00", "0111111110"}, {"12:00:00", "0111111111"}, {"12:00:15", "0000000000"}};
    for (const auto& [time, dueByRate] : rows) {
        for (int rate = 0; rate <= 9; ++rate)
            EXPECT_EQ(IsStoreDue(rate, time), dueByRate[rate] == '1') << "rate " << rate << " at " << time;
        for (int rate : {-1, 10, 32767})
            EXPECT_FALSE(IsStoreDue(rate, time)) << "rate " << rate;
    }
}

} // namespace
