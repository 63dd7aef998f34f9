#include "data/StoringData.h"

#include "TestSupport.h"

#include <string>

namespace {

// One row per instant: whether a record is due for rates 0 to 9, in order.
struct InstantCase {
    const char* time;
    const char* dueByRate; // "0123456789"
};

class StorageScheduleTable : public ::testing::TestWithParam<InstantCase> {};

TEST_P(StorageScheduleTable, DueAtTheInstantsTheRateNames) {
    const InstantCase& c = GetParam();
    for (int rate = 0; rate <= 9; ++rate)
        EXPECT_EQ(IsStoreDue(rate, c.time), c.dueByRate[rate] == '1') << "rate " << rate << " at " << c.time;
}

INSTANTIATE_TEST_SUITE_P(Instants, StorageScheduleTable,
                         ::testing::Values(
                             //                      rate 0123456789
                             InstantCase{"10:15:30", "0100000000"}, InstantCase{"10:15:15", "0000000000"},
                             InstantCase{"10:15:45", "0000000000"}, InstantCase{"10:15:00", "0111000000"},
                             InstantCase{"10:25:00", "0111000000"}, InstantCase{"10:25:30", "0100000000"},
                             InstantCase{"10:27:00", "0110000000"}, InstantCase{"10:30:00", "0111110000"},
                             InstantCase{"10:40:00", "0111100000"}, InstantCase{"11:00:00", "0111111000"},
                             InstantCase{"03:00:00", "0111111000"}, InstantCase{"06:00:00", "0111111100"},
                             InstantCase{"18:00:00", "0111111100"}, InstantCase{"18:30:00", "0111110000"},
                             InstantCase{"00:00:00", "0111111110"}, InstantCase{"00:00:30", "0100000000"},
                             InstantCase{"12:00:00", "0111111111"}, InstantCase{"12:00:15", "0000000000"},
                             InstantCase{"23:59:45", "0000000000"}, InstantCase{"23:59:00", "0110000000"}),
                         [](const auto& info) {
                             std::string name = "T";
                             for (const char* p = info.param.time; *p; ++p)
                                 if (*p != ':')
                                     name += *p;
                             return name;
                         });

TEST(StorageSchedule, RatesOutsideTheListNeverStore) {
    for (int rate : {-1, 10, 32767})
        EXPECT_FALSE(IsStoreDue(rate, "12:00:00")) << "rate " << rate;
}

TEST(StorageSchedule, ReadsTheClockAndRecomputesEveryScan) {
    Declarations d;
    d.StorageRate = 1;
    d.ScanTime = "10:15:15"; // the clock decides, not the stamp
    FakeClock clock(QDateTime(QDate(2008, 3, 5), QTime(10, 15, 30)));
    CheckStorageDue(d, clock);
    EXPECT_EQ(d.StoreDue, 1);
    clock.Advance(15000);
    CheckStorageDue(d, clock);
    EXPECT_EQ(d.StoreDue, 0);
}

TEST(StorageSchedule, HourlyRateStartedMidHourFirstStoresOnTheHour) {
    Declarations d;
    d.StorageRate = 6;
    FakeClock clock(QDateTime(QDate(2008, 3, 5), QTime(10, 20, 45))); // first scan after a start at 10:20:40
    QTime firstDue;
    for (int scan = 0; scan < 24 * 60 * 4 && !firstDue.isValid(); ++scan, clock.Advance(15000)) {
        CheckStorageDue(d, clock);
        if (d.StoreDue == 1)
            firstDue = clock.Now().time();
    }
    EXPECT_EQ(firstDue, QTime(11, 0, 0));
}

} // namespace
