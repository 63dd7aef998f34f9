// The viewer's alarms from a log: the list's order and states, the banner,
// the tab's count and the line while nobody watches.
#include "viewer/AlarmList.h"

#include "TestSupport.h"

using namespace tarvek;

namespace {

// One event per token, a minute apart from 10:00:00 on 05-03-2008: KIND,
// channel, event ("H1R" HIGH 1 RAISED, "L2K" LOW 2 ACKNOWLEDGED, "A0R" NO
// ANSWER RAISED); "a" / "x" ACQUISITION STARTED / STOPPED.
std::vector<LoggedEvent> Log(const QString& tokens) {
    const std::map<QChar, QString> kinds{{'H', "HIGH"}, {'L', "LOW"}, {'A', "NO ANSWER"}};
    const std::map<QChar, QString> names{{'R', "RAISED"}, {'C', "CLEARED"}, {'K', "ACKNOWLEDGED"}};
    std::vector<LoggedEvent> log;
    for (const QString& t : tokens.split(u' ', Qt::SkipEmptyParts)) {
        const bool own = t.size() == 1;
        log.push_back({qint64(log.size() + 1),
                       EventOf("05-03-2008", QStringLiteral("10:%1:00").arg(log.size(), 2, 10, QChar('0')),
                               own ? QString("ACQUISITION") : kinds.at(t[0]), own ? 0 : t[1].digitValue(),
                               own ? QString(t == "x" ? "STOPPED" : "STARTED") : names.at(t[2]))});
    }
    return log;
}

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
    channels[0].name = "Boiler", channels[1].name = "Return";
    const AlarmFold fold = FoldEvents(Log(row.events));
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
    ::testing::Values(
        ListRow{
            "UnacknowledgedFirstThenByTime", "H1R L2R H1K A0R",
            "active, unacknowledged: Return below minimum, active, unacknowledged: Instrument not answering, "
            "active, acknowledged: Boiler above maximum",
            "2 alarms: Return below minimum since 10:01:00, Instrument not answering since 10:03:00", 2},
        ListRow{"BackToNormalNeedsAttentionWithoutABanner", "H1R H1C L2R L2K",
                "back to normal, unacknowledged: Boiler above maximum, active, acknowledged: Return below "
                "minimum",
                "", 1},
        ListRow{"StoppedSaysSinceWhenNobodyWatches", "a H1R x",
                "active, unacknowledged: Boiler above maximum",
                "1 alarm: Boiler above maximum since 10:01:00", 1,
                "Acquisition stopped since 05-03-2008 10:02:00: nobody is watching."}),
    RowName);

// The table of a span (on the wall clock) lists its events newest first.
TEST(AlarmList, TheEventsOfASpanNewestFirst) {
    const std::vector<LoggedEvent> log = Log("a H1R H1C x");
    const qint64 from = *ParseStoredTime("2008-03-05T10:01:00");
    EXPECT_EQ(EventsInSpan(log, {from, from + MinuteMs, TimeSpan::Local}), (std::vector<std::size_t>{2, 1}));
    EXPECT_EQ(LocalSpan({0, HourMs, TimeSpan::Utc}, QTimeZone(3600)).from, HourMs);
}

} // namespace
