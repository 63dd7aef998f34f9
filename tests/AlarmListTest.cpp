// The viewer's alarms from a log: the list's order and states, the banner,
// the tab's count, the line while nobody watches, the marks and stretches on
// the chart's time axis.
#include "viewer/AlarmList.h"
#include "viewer/EventMarks.h"
#include "viewer/EventSource.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace tarvek;

namespace {

struct ListRow {
    const char* name;
    const char* events;
    const char* list; // "state: alarm" per row, in the list's order
    const char* banner;
    int attention;
    const char* watch = "";
};

class AlarmListTable : public ::testing::TestWithParam<ListRow> {};

TEST_P(AlarmListTable, ShowsTheLogsAlarms) {
    const ListRow& row = GetParam();
    ChannelInfos channels;
    channels[0].name = "Boiler", channels[1].name = "Return", channels[7].name = "Stack";
    const AlarmFold fold = FoldEvents(EventsOf(row.events));
    QStringList list;
    for (const CurrentAlarm& a : AlarmsInOrder(fold))
        list += AlarmRow(a, channels)[0] + ": " + AlarmRow(a, channels)[3];
    EXPECT_EQ(list.join(", "), row.list);
    EXPECT_EQ(BannerText(fold, channels, "05-03-2008"), row.banner);
    EXPECT_EQ(NeedingAttention(fold), row.attention);
    EXPECT_EQ(WatchText(fold), row.watch);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, AlarmListTable,
    ::testing::ValuesIn(std::vector<ListRow>{
        {"UnacknowledgedFirstThenByTime", "H1R L2R H1K A0R",
         "active, unacknowledged: Return below minimum, active, unacknowledged: Instrument not answering, "
         "active, acknowledged: Boiler above maximum",
         "2 alarms: Return below minimum since 10:01:00, Instrument not answering since 10:03:00", 2},
        {"BackToNormalNeedsAttentionWithoutABanner", "H1R H1C L2R L2K",
         "back to normal, unacknowledged: Boiler above maximum, active, acknowledged: Return below minimum",
         "", 1},
        {"StoppedSaysSinceWhenNobodyWatches", "a H1R x", "active, unacknowledged: Boiler above maximum",
         "1 alarm: Boiler above maximum since 10:01:00", 1,
         "Acquisition stopped since 05-03-2008 10:02:00: nobody is watching."},
        {"TheLastChannelByItsName", "H8R", "active, unacknowledged: Stack above maximum",
         "1 alarm: Stack above maximum since 10:00:00", 1}}),
    RowName);

// The table of a span lists its events newest first, also after the clock
// was set back (then by their times) or a stamp is no date.
TEST(AlarmList, TheEventsOfASpanNewestFirst) {
    std::vector<LoggedEvent> log = EventsOf("a H1R H1C x");
    const qint64 from = *ParseStoredTime("2008-03-05T10:01:00");
    const TimeSpan span{from, from + MinuteMs, TimeSpan::Utc};
    EXPECT_EQ(EventsInSpan(TimelineOf(log, QTimeZone::utc()), span), (std::vector<std::size_t>{2, 1}));
    log[0].event.time = "10:01:30", log[3].event.date = "32-13-2008";
    EXPECT_EQ(EventsInSpan(TimelineOf(log, QTimeZone::utc()), span), (std::vector<std::size_t>{2, 1, 0}));
}

// Marks and stretches of a span over 600 pixels ("x kind channel/events",
// kinds R C K S), the window `minutes` long from `start` minutes after
// 10:00:00.
struct PlaceRow {
    const char* name;
    const char* events;
    int start, minutes;
    const char* marks;
    const char* stretches; // "channel:x1-x2"
};

class EventMarkTable : public ::testing::TestWithParam<PlaceRow> {};

TEST_P(EventMarkTable, PlacesTheLogsEvents) {
    const PlaceRow& row = GetParam();
    const std::vector<LoggedEvent> log = EventsOf(row.events);
    const qint64 from = *ParseStoredTime("2008-03-05T10:00:00") + row.start * MinuteMs;
    const ChartWindow window{from, from + row.minutes * MinuteMs};
    const EventTimeline timeline = TimelineOf(log, QTimeZone::utc());
    QStringList marks, stretches;
    for (const TrendMark& m : MarksIn(log, timeline, window, {0, 600}))
        marks += QString::asprintf("%g %c%d/%zu", m.x, "RCKSU"[int(m.kind)], m.channel, m.events.size());
    for (const StretchBand& s : StretchesIn(timeline, window, {0, 600}))
        stretches += QStringLiteral("%1:%2-%3").arg(s.channel).arg(s.x1).arg(s.x2);
    EXPECT_EQ(marks.join(", "), row.marks);
    EXPECT_EQ(stretches.join(", "), row.stretches);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, EventMarkTable,
    ::testing::ValuesIn(std::vector<PlaceRow>{
        {"RaisedToClearedOrToTheSpansEnd", "H1R L2R H1C", 0, 10, "0 R1/1, 60 R2/1, 120 C0/1",
         "1:0-120, 2:60-600"},
        {"AnAcknowledgementLeavesItRaised", "H1R H1K x H1C", 0, 10, "0 R1/1, 60 K0/1, 120 S0/1, 180 C0/1",
         "1:0-180"},
        {"RaisedAgainAfterARestartIsOneStretch", "H1R a H1R H1C A0R", 1, 10,
         "0 S0/1, 60 R1/1, 120 C0/1, 180 R0/1", "0:180-600, 1:0-120"},
        {"BeforeTheSpanClippedAfterItLeftOut", "H1R H1C L2R L2C", 2, 2, "0 R2/1, 300 C0/1", "2:0-300"},
        {"MarksWithinAMarksWidthShareTheFirstRaised", "a H1R L2R H1C L2C", 0, 120, "0 R1/2, 10 R2/2, 20 C0/1",
         "1:5-15, 2:10-20"},
        {"ShortStretchesOfAChannelDrawnAsOne", "H1R H1C H1R H1C", 0, 6000, "0 R1/4", "1:0-2.2"}}),
    RowName);

// A strip's edge: a line per channel of the strip in its order, the
// logger's own alarms after them, a channel the strip does not show on none.
TEST(EventMarks, StretchesLineUpAlongTheStripsEdge) {
    EXPECT_EQ(std::vector({StretchLine(3, {1, 2}), StretchLine(0, {1, 2}), StretchLine(1, {1, 2})}),
              (std::vector<std::optional<int>>{1, 2, std::nullopt}));
}

// The hover: the nearest mark within 3 pixels of the row, its events a line
// each.
TEST(EventMarks, TheMarkUnderThePointerTellsItsEvents) {
    ChannelInfos channels;
    channels[0].name = "Boiler";
    std::vector<LoggedEvent> log = EventsOf("H1R H1K x");
    log[0].event.value = "  +12.000", log[0].event.limit = "10";
    log[1].event.user = "anna", log[1].event.text = "valve checked";
    const std::vector<TrendMark> marks = {{10, MarkKind::Raised, 1, {0, 1}},
                                          {16, MarkKind::StartStop, 0, {2}}};
    const QRectF row = MarkRow({0, 0, 100, 50});
    EXPECT_EQ(MarkAt(marks, {13, 45}, row), &marks[0]);
    EXPECT_EQ(MarkAt(marks, {13.5, 45}, row), &marks[1]);
    EXPECT_EQ(MarkAt(marks, {20, 45}, row), nullptr);
    EXPECT_EQ(MarkAt(marks, {10, 30}, row), nullptr);
    EXPECT_EQ(MarkText(marks[0], log, channels),
              "05-03-2008 10:00:00 Boiler above maximum raised, value +12.000, limit 10\n"
              "05-03-2008 10:01:00 Boiler above maximum acknowledged by anna: valve checked");
    EXPECT_EQ(MarkText(marks[1], log, channels), "05-03-2008 10:02:00 Acquisition stopped");
    EXPECT_EQ(
        MarkText({0, MarkKind::Raised, 1, std::vector<std::size_t>(12, 0)}, log, channels).split('\n').last(),
        "and 2 more");
}

// The folder's stamp tells a new month's log (one made within the folder's
// clock tick: MonthFolderUsers). A log that grew is read from its first
// record not yet whole; one before the last, or one rewritten shorter, is read again whole:
// each follow step gives what a fresh read does.
class EventFollowTest : public AppFolderTest {};
TEST_F(EventFollowTest, EveryFollowStepGivesWhatAFreshReadDoes) {
    const QString folder = state.AppFolder + "/datafiles";
    const auto append = [this](const char* month, const char* log) {
        std::vector<Event> appended;
        for (const LoggedEvent& e : EventsOf(log))
            appended.push_back(e.event);
        return bool(AppendEvents(DataPath(QString(month) + "-Events.txt"), appended));
    };
    ASSERT_TRUE(QDir().mkpath(folder) && append("03-2008", "H1R"));
    const struct timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, qPrintable(folder), old, 0), 0);
    EventSource events;
    events.Open(folder);
    const auto asFresh = [&](const char* step, std::size_t count) {
        EXPECT_TRUE(events.FollowStep()) << step;
        EventSource fresh;
        fresh.Open(folder);
        EXPECT_EQ(events.Events().size(), count) << step;
        EXPECT_EQ(events.Fold().alarms, fresh.Fold().alarms) << step;
        EXPECT_EQ(events.Timeline().stretches, fresh.Timeline().stretches) << step;
        EXPECT_EQ(events.Skipped(), fresh.Skipped()) << step;
    };
    ASSERT_TRUE(append("04-2008", "L2R") && append("05-2008", "A0R"));
    asFresh("new months' logs", 3);
    ASSERT_TRUE(append("03-2008", "H1C"));
    asFresh("one before the last grew", 4);
    QFile torn(DataPath("05-2008-Events.txt"));
    ASSERT_TRUE(torn.open(QIODevice::Append) && torn.write("torn") == 4);
    torn.close();
    asFresh("torn", 4);
    ASSERT_TRUE(append("05-2008", "L2C H1K"));
    asFresh("appended to a torn record", 6);
    ASSERT_TRUE(append("05-2008", "L2K"));
    asFresh("appended again", 7);
    EXPECT_EQ(events.Skipped(), 1) << "the torn record, completed";
    WriteBytes(DataPath("05-2008-Events.txt"), BuildEventRecord(EventsOf("A0C")[0].event).toLatin1());
    asFresh("rewritten shorter", 4);
}

// Acknowledge covers the selected rows, Acknowledge all every row; neither
// writes again for an alarm already acknowledged (H1, listed last).
TEST(AlarmList, AnAcknowledgementCoversTheChosenNotYetAcknowledged) {
    const std::vector<CurrentAlarm> listed = AlarmsInOrder(FoldEvents(EventsOf("H1R L2R H1K A0R H3R H3C")));
    for (const auto& [rows, all, chosen] :
         {std::tuple{std::vector{1}, false, "N0"}, std::tuple{std::vector{2, 3}, false, "H3"},
          std::tuple{std::vector{0}, true, "L2 N0 H3"}}) {
        QStringList names;
        for (const CurrentAlarm& a : ToAcknowledge(listed, rows, all))
            names += a.kind.left(1) + QString::number(a.channel);
        EXPECT_EQ(names.join(' '), chosen) << all;
    }
}

} // namespace
