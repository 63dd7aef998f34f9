// The viewer's texts and its follow policy, without a window.
#include "viewer/ViewerText.h"

#include "support/TestSupport.h"

using namespace tarvek;

namespace {

TEST(ViewerText, StatusCountsFilesAndRecordsThenWhatWasLeftOut) {
    EXPECT_EQ(StatusText(2, 90, {1, 2, 3, 1}, {}),
              "2 files, 90 records; skipped: 1 blank, 2 not data records, "
              "3 past the header's count, 1 torn");
    EXPECT_EQ(StatusText(2, 90, {}, {"a: one", "b: two"}), "2 files, 90 records; a: one; b: two");
}

// After a follow step: the change, whether zoomed, whether "From ... to ...".
TEST(ViewerText, AFollowStepRedrawsWhatItChanged) {
    using Change = TrendSource::Change;
    const std::tuple<const char*, Change, bool, bool, FollowRedraw> rows[] = {
        {"nothing new", Change::None, false, false, FollowRedraw::Nothing},
        {"appended moves the span on", Change::Appended, false, false, FollowRedraw::SpanMovesOn},
        {"zoomed keeps its span", Change::Appended, true, false, FollowRedraw::SameSpan},
        {"from-to keeps its span", Change::Reloaded, false, true, FollowRedraw::SameSpan}};
    for (const auto& [name, change, zoomed, fromTo, redraw] : rows)
        EXPECT_EQ(AfterFollowStep(change, zoomed, fromTo), redraw) << name;
}

} // namespace
