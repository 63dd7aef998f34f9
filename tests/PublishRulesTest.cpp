// tarvek-publish's rules without a broker: the delivery window, the waits
// after a failure, settings at their bounds, damaged state texts, where a
// first run starts in the event logs, the feed read in small batches, and the
// program's own refusals (arguments, a state file it cannot write).
#include "alarm/EventLog.h"
#include "data/StoredTime.h"
#include "publish/DeliveryWindow.h"
#include "publish/EventStream.h"
#include "publish/PublishConfig.h"
#include "publish/RecordFeed.h"
#include "publish/SessionChurn.h"

#include "support/TestSupport.h"

#include <QDate>
#include <QProcess>

#include <csignal>
#include <sys/resource.h>

using namespace tarvek;

namespace {

TEST(DeliveryWindowTest, RefilledByHalvesAndThePlaceMovesOnlyOverTheAcknowledgedFront) {
    DeliveryWindow<int> window;
    for (int mid = 1; mid <= 50; ++mid)
        window.Sent(mid, mid * 10);
    EXPECT_EQ(window.Room(), 50) << "half a window out: refilled";
    window.Sent(51, 510);
    EXPECT_EQ(window.Room(), 0) << "more than half out: waits";
    EXPECT_TRUE(window.Holds(51) && !window.Holds(52));
    EXPECT_EQ(window.Acknowledge(2), std::vector<int>{}) << "1 is still out";
    EXPECT_EQ(window.Acknowledge(1), (std::vector<int>{10, 20}));
    EXPECT_EQ(window.Acknowledge(99), std::vector<int>{});
    window.Clear();
    EXPECT_EQ(std::tuple(window.Empty(), window.Room()), std::tuple(true, 100));
}

TEST(SessionChurnTest, AfterALossOrAFailedAttemptTheUsualWaitUnlessSessionsEndAtOnce) {
    SessionChurn churn;
    churn.Connected(0);
    EXPECT_EQ(churn.After(true, 60'000, 7), 7) << "a long session lost";
    churn.Connected(60'000);
    EXPECT_EQ(churn.After(true, 61'000, 7), 0) << "a short session lost: at once";
    EXPECT_EQ(churn.After(false, 62'000, 7), 7) << "an attempt failed";
}

// The outcome of a configuration: its error after the file name, or a few settings.
QString Outcome(const QByteArray& text) {
    const auto parsed = ParsePublishConfig(text, "/p.conf", {"box", "/d", "/s", {}});
    if (const auto* error = std::get_if<ConfigError>(&parsed))
        return error->text.section(": ", 1);
    const PublishConfig& c = std::get<PublishConfig>(parsed);
    return QStringLiteral("%1 %2 %3 %4/%5/%6")
        .arg(c.tls ? "tls" : "plain", c.prefix)
        .arg(c.port)
        .arg(c.notifyBatch)
        .arg(c.notifyTimeout)
        .arg(c.notifyMaxAge);
}

TEST(PublishSettingsTest, ValuesAtTheirBoundsAcceptedAndPastThemRefused) {
    const QString notPrefix =
        " is no topic prefix (not empty, no + or #, no control character, no / at either end)";
    const std::vector<std::tuple<const char*, QByteArray, QString>> rows{
        {"switch words, comments", "; a comment\ntls = Off", "plain tarvek/box 1883 0/30/3600"},
        {"no", "tls = no", "plain tarvek/box 1883 0/30/3600"},
        {"neither yes nor no", "tls = maybe", "tls: \"maybe\" is not yes or no"},
        {"not a number", "qos = x", "qos: \"x\" is not a whole number from 0 to 2"},
        {"below the range", "port = 0", "port: \"0\" is not a whole number from 1 to 65535"},
        {"no key", "qos = 1\n= 5", "line 2: is not \"key = value\""},
        {"empty client id", "client_id =", "client_id: needs a text"},
        {"longest client id", "client_id = " + QByteArray(65535, 'c'), "plain tarvek/box 1883 0/30/3600"},
        {"notify bounds",
         "host =\nnotify_command = /bin/true\nnotify_batch = 3600\nnotify_timeout = 1\n"
         "notify_max_age = 60",
         "plain tarvek/box 1883 3600/1/60"},
        {"space and no-break space", "prefix = a\xc2\xa0 b", "plain a\u00a0 b 1883 0/30/3600"},
        {"prefix too long", "prefix = " + QByteArray(200, 'p'),
         "prefix: \"" + QString(200, 'p') + '"' + notPrefix},
        {"delete", "prefix = a\x7f", "prefix: \"a\x7f\"" + notPrefix},
        {"plus", "prefix = a/+/b", "prefix: \"a/+/b\"" + notPrefix},
        {"empty prefix", "prefix =", "prefix: \"\"" + notPrefix},
        {"leading slash", "prefix = /a", "prefix: \"/a\"" + notPrefix},
        {"trailing slash", "prefix = a/", "prefix: \"a/\"" + notPrefix}};
    for (const auto& [name, text, expected] : rows)
        EXPECT_EQ(Outcome(text), expected) << name;
}

TEST(StateTextTest, ADamagedStateIsRefusedNotHalfRead) {
    const QByteArray events = "events=12-2026-Events.txt 9\nnotified=12-2026-Events.txt 8\n";
    const std::vector<std::tuple<const char*, QByteArray>> rows{
        {"time no number", "tarvek-publish state 3\nutc=x\n" + events},
        {"events place damaged",
         "tarvek-publish state 3\nutc=\nevents=12-2026-Events.txt x\n" + events.mid(28)},
        {"events place with more",
         "tarvek-publish state 3\nutc=\nevents=12-2026-Events.txt 9 9\n" + events.mid(28)},
        {"events of no log", "tarvek-publish state 3\nutc=\nevents=nolog 9\n" + events.mid(28)},
        {"negative record", "tarvek-publish state 2\nutc=\n11-2026-Data.txt -1 \n"},
        {"a file twice", "tarvek-publish state 2\nutc=\n11-2026-Data.txt 1 \n11-2026-Data.txt 2 \n"},
        {"no month file", "tarvek-publish state 2\nutc=\nnotes.txt 1 \n"},
        {"record bytes cut",
         "tarvek-publish state 2\nutc=\n11-2026-Data.txt 1 " + QByteArray(80, 'x').toBase64() + "\n"},
        {"former, cut", "file=11-2026-Data.txt\nrecord=3\n"},
        {"former, no month file", "file=notes.txt\nrecord=3\nbytes=\n"},
        {"no line end", "tarvek-publish state 2\nutc="}};
    for (const auto& [name, text] : rows) {
        std::optional<int> former;
        EXPECT_FALSE(ParsePosition(text, &former)) << name;
    }
    std::optional<int> former;
    const FeedPosition mark{
        {{"11-2026-Data.txt", {0, {}}}}, 0, EventPosition{"12-2026-Events.txt", 0}, EventPosition{}};
    EXPECT_EQ(ParsePosition(PositionText(mark), &former), mark)
        << "every place at zero, and before every log";
}

class PublishFolderTest : public AppFolderTest {};

TEST_F(PublishFolderTest, AFirstRunStartsInTheEventLogsWhereStartSays) {
    const QString folder = DataPath({}).chopped(1);
    QDir().mkpath(folder);
    ASSERT_TRUE(AppendEvents(DataPath("11-2026-Events.txt"),
                             {EventOf("30-11-2026", "23:59:30", "HIGH", 1, "RAISED")}));
    ASSERT_TRUE(AppendEvents(DataPath("12-2026-Events.txt"),
                             {EventOf("01-12-2026", "00:00:00", "HIGH", 1, "CLEARED"),
                              EventOf("01-12-2026", "00:00:30", "LOW", 2, "RAISED")}));
    const std::vector<std::tuple<const char*, StartFrom, EventPosition>> rows{
        {"all", {StartFrom::All, 0}, {}},
        {"new", {StartFrom::New, 0}, {"12-2026-Events.txt", 2}},
        {"at an event",
         {StartFrom::Time, *ParseStoredTime("2026-12-01T00:00:00")},
         {"11-2026-Events.txt", 1}}};
    for (const auto& [name, start, expected] : rows)
        EXPECT_EQ(StartingEventPosition(folder, start), expected) << name;
}

TEST_F(PublishFolderTest, RecordsReadOneAtATimeAndNextMonthsFileIsNoSurprise) {
    const QDate next = QDate::currentDate().addMonths(1);
    QByteArray bytes = DataHeader(3);
    for (const char* time : {"00:00:00", "00:00:30", "00:01:00"})
        bytes += DataLine(time, {}, next.toString("01-MM-yyyy").toLatin1());
    WriteBytes(DataPath(next.toString("MM-yyyy") + "-Data.txt"), bytes);
    RecordFeed feed(DataPath({}).chopped(1));
    std::vector<FedRecord> read;
    for (int n = 0; n < 4; ++n)
        feed.Read(1, read);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read.back().position.number, 3);
    EXPECT_EQ(feed.TakeNotes(), QStringList{});
}

// The program itself, without a broker: what it refuses and a state file it cannot write.
TEST_F(PublishFolderTest, TheProgramRefusesBadArgumentsAndAStateFileItCannotWrite) {
    const QString config = state.AppFolder + "/p.conf", statePath = state.AppFolder + "/state";
    WriteBytes(config, QStringLiteral("host = 127.0.0.1\nport = 1\ndata = %1\nstate = %2\n")
                           .arg(DataPath({}).chopped(1), statePath)
                           .toUtf8());
    const auto run = [&](const QStringList& args, rlim_t fileSize = RLIM_INFINITY) {
        QProcess p;
        p.setChildProcessModifier([fileSize] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fileSize;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        p.start(TARVEK_PUBLISH, QStringList{"--config", config} + args);
        EXPECT_TRUE(p.waitForFinished(10'000));
        // The first line said, after the program's name.
        return QString::number(p.exitCode()) + ' ' +
               QString(p.readAllStandardError()).section(": ", 1).section('\n', 0, 0);
    };
    const QString timeout = "2 --timeout needs a whole number of seconds from 1 to 2147483";
    EXPECT_EQ(run({"--timeout", "-1"}), timeout);
    EXPECT_EQ(run({"--timeout", "2147484"}), timeout) << "past what its timer can hold";
    EXPECT_EQ(run({"--bogus", "--once"}), "2 unknown argument --bogus");
    EXPECT_EQ(run({"--once", "--config"}), "2 unknown argument --config");
    WriteBytes(statePath, "tarvek-publish state 2\nutc=\n");
    EXPECT_EQ(run({"--once"}, 20), "3 " + statePath + ": File too large") << "never said to be saved";
    EXPECT_EQ(ReadBytes(statePath), "tarvek-publish state 2\nutc=\n") << "the state before is kept";
}

} // namespace
