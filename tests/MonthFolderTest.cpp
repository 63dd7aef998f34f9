// The month-folder follower: how a file changed and when to list the folder
// again, as tables; then every program's reader of the folder over a month
// file made within the folder's clock tick.
#include "data/MonthFolder.h"
#include "publish/EventFeed.h"
#include "publish/RecordFeed.h"
#include "viewer/EventSource.h"
#include "viewer/TrendSource.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace tarvek;

namespace {

constexpr qint64 Now = 2'000'000'000'000'000'000;
// A file of 320 bytes on device 1, inode 7, written 2 s before Now.
constexpr FileStamp Old{1, 7, 320, Now - 2'000'000'000, true};

FileStamp With(FileStamp s, quint64 device, quint64 inode, qint64 size, qint64 mtimeNs, qint64 ctimeNs = 0) {
    s.device += device, s.inode += inode, s.size += size, s.mtimeNs += mtimeNs, s.ctimeNs += ctimeNs;
    return s;
}

TEST(MonthFolderRules, HowAFileChangedAndWhetherItIsDue) {
    const std::vector<std::tuple<const char*, Followed, FileStamp, FileChange, bool>> rows{
        {"unchanged", {"f", Old, true}, Old, FileChange::None, false},
        {"opened within its tick", {"f", Old, false}, Old, FileChange::None, true},
        {"its last open failed", {"f", Old, true, true}, Old, FileChange::None, true},
        {"never opened", {"f", {}}, Old, FileChange::Added, true},
        {"appended to", {"f", Old, true}, With(Old, 0, 0, 160, 1), FileChange::Grew, true},
        {"written in place", {"f", Old, true}, With(Old, 0, 0, 0, 1), FileChange::Touched, true},
        {"written, its time set back", {"f", Old, true}, With(Old, 0, 0, 0, 0, 1), FileChange::Touched, true},
        {"cut", {"f", Old, true}, With(Old, 0, 0, -1, 1), FileChange::Cut, true},
        {"another inode, same length", {"f", Old, true}, With(Old, 0, 1, 0, 0), FileChange::Replaced, true},
        {"another device", {"f", Old, true}, With(Old, 1, 0, 0, 0), FileChange::Replaced, true},
        {"gone", {"f", Old, true}, {}, FileChange::Removed, true},
        {"never there", {"f", {}, true}, {}, FileChange::None, false}};
    for (const auto& [name, followed, now, change, due] : rows) {
        const MonthLook look = LookAt(followed, now);
        EXPECT_EQ(std::pair(look.change, look.due), std::pair(change, due)) << name;
    }
}

// The folder's stamp before and now, whether the first was trusted: listed
// again, and trusted then.
TEST(MonthFolderRules, AFolderIsListedAgainWhenItsStampChangedOrWasNotTrusted) {
    const FileStamp recent = With(Old, 0, 0, 0, 1'500'000'000);
    const std::vector<std::tuple<const char*, FolderSeen, FileStamp, bool, bool>> rows{
        {"never listed", {}, Old, true, true},
        {"unchanged, trusted", {Old, true}, Old, false, true},
        {"unchanged, listed within its tick", {recent, false}, recent, true, false},
        {"unchanged, its tick now passed", {Old, false}, Old, true, true},
        {"changed", {Old, true}, recent, true, false},
        {"gone", {Old, true}, {}, true, true},
        {"still missing", {{}, true}, {}, false, true}};
    for (const auto& [name, before, now, listed, trusted] : rows) {
        FolderSeen seen = before;
        EXPECT_EQ(std::pair(ListAgain(seen, now, Now), seen.trusted), std::pair(listed, trusted)) << name;
    }
}

// Each reader of the folder: a first look after one month's file, then a
// second month's file made within the folder's clock tick (its stamp set
// back as the first look saw it): a fresh listing finds it.
struct FolderUser {
    const char* name;
    MonthFileKind kind;
    // A reader of the folder: each call looks once and gives what it holds.
    std::function<std::function<qint64()>(const QString& folder)> reader;
};

class MonthFolderUsers : public AppFolderTest, public ::testing::WithParamInterface<FolderUser> {};

TEST_P(MonthFolderUsers, SeeAMonthFileMadeWithinTheFoldersClockTick) {
    const QString folder = DataPath({}).chopped(1);
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto make = [&](const QString& date) {
        if (GetParam().kind == MonthFileKind::Data)
            return StoreScan(date, "10:00:00", "   +1.000", "   +1.000");
        ASSERT_TRUE(AppendEvents(DataPath(EventFileName(date)), {EventsOf("H1R")[0].event}));
    };
    make("05-03-2008");
    const std::function<qint64()> look = GetParam().reader(folder);
    ASSERT_EQ(look(), 1);
    struct stat before {};
    ASSERT_EQ(::stat(qPrintable(folder), &before), 0);
    make("05-04-2008");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, qPrintable(folder), times, 0), 0);
    EXPECT_EQ(look(), 2);
}

template <typename Fed, typename Feed> std::function<qint64()> FeedReader(const QString& folder) {
    return [feed = std::make_shared<Feed>(folder), read = std::make_shared<std::vector<Fed>>()] {
        feed->Read(100, *read);
        return qint64(read->size());
    };
}

// The viewer's sources open at once; each look is a follow step.
std::function<qint64()> TrendReader(const QString& folder) {
    auto source = std::make_shared<TrendSource>(QTimeZone::utc());
    source->Open({folder});
    return [source] { return source->FollowStep(), source->Data().Size(); };
}
std::function<qint64()> EventReader(const QString& folder) {
    auto source = std::make_shared<EventSource>();
    source->Open(folder);
    return [source] { return source->FollowStep(), qint64(source->Events().size()); };
}

INSTANTIATE_TEST_SUITE_P(
    Follow, MonthFolderUsers,
    ::testing::Values(FolderUser{"viewer_trend", MonthFileKind::Data, TrendReader},
                      FolderUser{"viewer_events", MonthFileKind::Events, EventReader},
                      FolderUser{"publisher_records", MonthFileKind::Data, FeedReader<FedRecord, RecordFeed>},
                      FolderUser{"publisher_events", MonthFileKind::Events, FeedReader<FedEvent, EventFeed>}),
    RowName);

} // namespace
