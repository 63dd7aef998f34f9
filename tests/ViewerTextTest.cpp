// The viewer's texts and its follow policy, without a window.
#include "viewer/ViewerText.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

struct StatusCase {
    const char* name;
    ReadTally tally;
    QStringList notes;
    const char* status;
};

class StatusTextTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTextTable, CountsFilesAndRecordsThenWhatWasLeftOut) {
    EXPECT_EQ(StatusText(2, 90, GetParam().tally, GetParam().notes), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Status, StatusTextTable,
    ::testing::Values(StatusCase{"Skipped",
                                 {1, 2, 3, 1},
                                 {},
                                 "2 files, 90 records; skipped: 1 blank, 2 not data records, 3 past the "
                                 "header's count, 1 torn"},
                      StatusCase{
                          "CountNotes", {}, {"a: one", "b: two"}, "2 files, 90 records; a: one; b: two"}),
    RowName);

struct FollowCase {
    const char* name;
    TrendSource::Change change;
    bool zoomed, fromTo;
    FollowRedraw redraw;
};

class FollowPolicyTable : public ::testing::TestWithParam<FollowCase> {};

TEST_P(FollowPolicyTable, RedrawsWhatTheStepChanged) {
    const FollowCase& c = GetParam();
    EXPECT_EQ(AfterFollowStep(c.change, c.zoomed, c.fromTo), c.redraw);
}

using Change = TrendSource::Change;
INSTANTIATE_TEST_SUITE_P(
    FollowSteps, FollowPolicyTable,
    ::testing::Values(
        FollowCase{"NothingNew", Change::None, false, false, FollowRedraw::Nothing},
        FollowCase{"AppendedMovesTheSpanOn", Change::Appended, false, false, FollowRedraw::SpanMovesOn},
        FollowCase{"ZoomedKeepsItsSpan", Change::Appended, true, false, FollowRedraw::SameSpan},
        FollowCase{"FromToKeepsItsSpan", Change::Reloaded, false, true, FollowRedraw::SameSpan}),
    RowName);

} // namespace
