// Alarms beyond the desk: the feed over the event logs, the event and alarm
// payloads and the notification command's rules as tables, then the command
// run for real (msmtp to a local SMTP server, a failing and a hanging one).
#include "data/StoredTime.h"
#include "publish/CommandRunner.h"
#include "publish/EventPayload.h"
#include "publish/EventStream.h"

#include "support/AcquisitionSupport.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <csignal>
#include <cstdio>

using namespace tarvek;

namespace {

Event Alarm(const char* kind, int channel, const char* event, const char* value = "  +10.700",
            const char* limit = "10.0", const char* text = "Boiler pressure") {
    return {"08-12-2026", "10:15:30", kind, channel, event, value, limit, "op1", text};
}
const QString December = "12-2026-Events.txt";
FedEvent Fed(const Event& e, qint64 record, qint64 utcMs = 0) {
    return {{December, record}, e, *EventStamp(e.date, e.time), utcMs};
}
// Records passed in December's log (the only one of the plan's tests).
const auto Passed = [](const EventPosition& at) {
    return at.logs.contains(December) ? at.logs.at(December) : 0;
};
const auto Bytes = [](const Event& e) { return BuildEventRecord(e).toLatin1(); };

TEST(EventPayloadTest, FieldsInOrderNullWhereBlankTheStoredDigitsAndEachAlarmTopicsAlarms) {
    const std::vector<std::tuple<const char*, Event, QByteArray>> rows{
        {"channel alarm", Alarm("HIGH", 3, "RAISED"),
         R"("kind":"HIGH","channel":3,"event":"RAISED","value":10.700,"limit":10.0,"user":"op1","text":"Boiler pressure"})"},
        {"logger alarm, a gap", Alarm("NO ANSWER", 0, "RAISED", " No Data ", "", ""),
         R"("kind":"NO ANSWER","channel":null,"event":"RAISED","value":null,"limit":null,"user":"op1","text":""})"},
        {"text escaped", Alarm("LOW", 1, "CLEARED", "   -0.500", "-.5", R"(a "b" \c)"),
         R"("kind":"LOW","channel":1,"event":"CLEARED","value":-0.500,"limit":-0.5,"user":"op1","text":"a \"b\" \\c"})"}};
    const QByteArray key = R"({"file":"12-2026-Events.txt","record":7,"time":"2026-12-08T10:15:30",)"
                           R"("utc":"2026-12-08T09:15:30Z",)";
    for (const auto& [name, event, json] : rows)
        EXPECT_EQ(EventPayload(Fed(event, 7, *EventStamp("08-12-2026", "09:15:30"))), key + json) << name;
    // Each alarm topic lists its channel's current alarms.
    AlarmFold fold;
    for (const Event& e :
         {Alarm("HIGH", 3, "RAISED"), Alarm("HIGH", 3, "ACKNOWLEDGED"), Alarm("LOW", 5, "RAISED"),
          Alarm("LOW", 5, "CLEARED", "   +2.000", "1.5"), Alarm("NOT STORED", 0, "RAISED", "", "")})
        fold.Take(e);
    StoredTimeToUtc clock{QTimeZone("Europe/Rome")};
    const AlarmPayloads p = AlarmStatePayloads(fold, clock);
    EXPECT_EQ(p[3],
              R"({"alarms":[{"kind":"HIGH","state":"active-acknowledged","since":"2026-12-08T10:15:30",)"
              R"("utc":"2026-12-08T09:15:30Z","value":10.700,"limit":10.0}]})");
    EXPECT_TRUE(p[5].contains(R"("state":"cleared-unacknowledged",)")) << p[5].constData();
    EXPECT_EQ(p[1], R"({"alarms":[]})");
    EXPECT_EQ(AlarmTopic("t", 0) + ' ' + AlarmTopic("t", 1), "t/alarm/logger t/alarm/1");
}

constexpr qint64 Now = 1'800'000'000'000; // the clock of the plan's tests (UTC)
const RunEnd Ok{true, {}}, Exit1{false, "exit status 1"};

TEST(NotifyPlanTest, ABatchGathersInOrderAndThePlaceFollowsSuccess) {
    NotifyPlan plan({{"/bin/true"}, 60});
    plan.Add(Fed(Alarm("ACQUISITION", 0, "STARTED"), 1, Now), Now); // nothing waits: passed over
    plan.Add(Fed(Alarm("HIGH", 3, "RAISED"), 2, Now), Now);
    plan.Add(Fed(Alarm("HIGH", 3, "ACKNOWLEDGED"), 3, Now), Now + 10'000);
    plan.Add(Fed(Alarm("NO ANSWER", 0, "CLEARED", "", ""), 4, Now), Now + 30'000);
    plan.Add(Fed(Alarm("SET-UP", 0, "CHANGED"), 5, Now), Now + 40'000);
    EXPECT_FALSE(plan.Take(Now + 59'999));
    const std::optional<NotifyRun> run = plan.Take(Now + 60'000);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->lines,
              (QStringList{
                  "2026-12-08 10:15:30 Ch.3 above maximum raised, value 10.700, limit 10.0: Boiler pressure",
                  "2026-12-08 10:15:30 Instrument not answering cleared: Boiler pressure"}));
    EXPECT_EQ(run->subject, "TARVEK: 2 alarm events, the first Ch.3 above maximum raised");
    plan.Add(Fed(Alarm("LOW", 1, "RAISED"), 6, Now), Now + 61'000); // a new batch: the first is out
    EXPECT_EQ(Passed(plan.Notified()), 1);
    plan.Finished(Ok, Now + 62'000);
    EXPECT_EQ(Passed(plan.Notified()), 5);
}

TEST(NotifyPlanTest, AFailureIsSaidOnceAndTriedAgainLaterAndLater) {
    NotifyPlan plan({{"/usr/bin/msmtp"}, 0, 30, 3600, 5000, 12'000});
    const FedEvent second = Fed(Alarm("LOW", 3, "RAISED"), 2, Now);
    plan.Add(Fed(Alarm("HIGH", 3, "RAISED"), 1, Now), Now);
    EXPECT_FALSE(plan.Add(second, Now)) << "one run held, the next waits in the log";
    ASSERT_TRUE(plan.Take(Now));
    EXPECT_FALSE(plan.Take(Now)) << "one run at a time";
    EXPECT_EQ(plan.Finished(Exit1, Now),
              "notify_command /usr/bin/msmtp failed (exit status 1); tried again in 5 s, then less often");
    for (const qint64 wait : {5000, 10'000, 12'000}) {
        EXPECT_FALSE(plan.Take(Now + wait - 1));
        const std::optional<NotifyRun> again = plan.Take(Now + wait);
        ASSERT_TRUE(again && again->lines.first().contains("Ch.3 above maximum raised"));
        EXPECT_EQ(plan.Finished(Exit1, Now), "");
    }
    ASSERT_TRUE(plan.Take(Now + 12'000));
    EXPECT_EQ(Passed(plan.Notified()), 0);
    EXPECT_EQ(plan.Finished(Ok, Now), "notify_command /usr/bin/msmtp works again");
    EXPECT_TRUE(Passed(plan.Notified()) == 1 && plan.Add(second, Now) && plan.NextRunMs() == Now);
}

TEST(NotifyPlanTest, EventsOlderThanTheMaximumAgeAreSummarisedInOneRun) {
    NotifyPlan plan({{"/bin/true"}, 0, 30, 3600});
    for (int r = 1; r <= 3; ++r)
        plan.Add(Fed(Alarm("HIGH", r, "RAISED"), r, Now - 3'600'001), Now + r);
    const FedEvent fresh4 = Fed(Alarm("HIGH", 4, "RAISED"), 4, Now + 4 - 3'600'000); // at the age: fresh
    EXPECT_FALSE(plan.Add(fresh4, Now + 4)) << "a run of its own, later";
    EXPECT_FALSE(plan.Take(Now + 1999)) << "a backlog comes in several reads";
    const std::optional<NotifyRun> summary = plan.Take(Now + 2001);
    ASSERT_TRUE(summary && summary->lines.size() == 1);
    EXPECT_TRUE(summary->lines[0].startsWith("3 alarm events from 2026-12-08 10:15:30"));
    EXPECT_EQ(summary->environment[1], std::pair(QString("TARVEK_EVENT"), QString("SUMMARY")));
    EXPECT_EQ(summary->subject, "TARVEK: 3 older alarm events");
    plan.Finished(Ok, Now);
    EXPECT_TRUE(plan.Add(fresh4, Now + 4));
    EXPECT_FALSE(plan.Add(Fed(Alarm("HIGH", 5, "RAISED"), 5, Now - 3'600'001), Now + 5));
    const std::optional<NotifyRun> fresh = plan.Take(Now + 5);
    EXPECT_TRUE(fresh && fresh->lines.size() == 1) << "then the fresh one alone, at once";
}

// However long the command fails, the plan holds one run: the rest waits in the logs.
TEST(NotifyPlanTest, AFailingCommandHoldsOneRunWhateverTheBacklog) {
    const std::vector<std::tuple<const char*, int, qint64, int, qsizetype>> rows{
        {"one run per event", 0, 0, 1, 1},
        {"a batch of at most its most", 60, 0, int(NotifyPlan::MaxRunEvents), NotifyPlan::MaxRunEvents},
        {"a backlog summarised holds its ends", 0, 3'600'001, 2000, 2}};
    for (const auto& [name, batch, age, taken, held] : rows) {
        NotifyPlan plan({{"/bin/false"}, batch, 30, 3600, 1000, 1000});
        const auto add = [&](int from, int to) {
            int n = 0;
            for (int r = from; r <= to; ++r)
                n += plan.Add(Fed(Alarm("HIGH", r % 8 + 1, "RAISED"), r, Now - age), Now);
            return n;
        };
        EXPECT_EQ(add(1, 2000), taken) << name;
        ASSERT_TRUE(plan.Take(Now + 60'000)) << name; // the batch gathered
        plan.Finished(Exit1, Now + 60'000);
        EXPECT_EQ(add(taken + 1, 2000), 0) << name;
        EXPECT_EQ(plan.Held(), held) << name;
        const std::optional<NotifyRun> again = plan.Take(Now + 61'000);
        ASSERT_TRUE(again && again->environment.back().second == QString::number(taken)) << name;
        plan.Finished(Ok, Now + 61'000);
        EXPECT_EQ(Passed(plan.Notified()), taken) << name;
        EXPECT_EQ(add(2001, 2001), 1) << name;
    }
}

TEST(EventFeedTest, StoredOrderAcrossMonthsSkippingTornRecords) {
    QTemporaryDir dir;
    const QByteArray torn = Bytes(Alarm("LOW", 2, "RAISED")).left(70) + QByteArray(87, ' ') + "*\r\n";
    const QByteArray noDay = Bytes(Alarm("LOW", 2, "CLEARED")).replace(0, 5, "31-02"); // never sent, no time
    WriteBytes(dir.filePath("11-2026-Events.txt"),
               Bytes(Alarm("HIGH", 1, "RAISED")) + torn + noDay + Bytes(Alarm("HIGH", 1, "CLEARED")));
    WriteBytes(dir.filePath("12-2026-Events.txt"),
               Bytes(Alarm("LOW", 3, "RAISED")) + Bytes(Alarm("LOW", 3, "CLEARED")).left(100));
    EventFeed feed(dir.path(), QTimeZone("Europe/Rome"));
    std::vector<FedEvent> out;
    ASSERT_TRUE(feed.Read(2, out) && feed.Read(10, out)) << qPrintable(feed.Error());
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].position.record, 4) << "after the torn record and the one of no day";
    EXPECT_EQ(std::tuple(out[2].utcMs, feed.Skipped()), std::tuple(out[2].localMs - HourMs, 2));
    EXPECT_EQ(feed.TakeNotes().join("\n").count("records not sent, as they are no event records: 1"), 2);
    EXPECT_EQ(feed.Position().logs,
              (std::map<QString, qint64>{{"11-2026-Events.txt", 4}, {"12-2026-Events.txt", 1}}))
        << "the record being written waits";
    EventFeed resumed(dir.path());
    resumed.SeekAfter({{{"11-2026-Events.txt", 3}}});
    out.clear();
    ASSERT_TRUE(resumed.Read(10, out));
    EXPECT_EQ(out.size(), 2u);
}

// Each row: the logs, then what replaces or cuts one of them ("=" written in
// place, ">" another file renamed over it), then the alarms folded.
TEST(FoldedLogsTest, ALogCutOrReplacedIsFoldedAgainFromACleanState) {
    const Event high3 = Alarm("HIGH", 3, "RAISED"), low2 = Alarm("LOW", 2, "RAISED"),
                low1 = Alarm("LOW", 1, "RAISED"), none5 = Alarm("NO VALUE", 5, "RAISED");
    const std::vector<std::tuple<const char*, std::vector<Event>, std::vector<Event>, char, const char*>>
        rows{{"the log cut shorter", {}, {high3, low2}, '=', "HIGH 3"},
             {"the log replaced, longer", {}, {high3, low2}, '>', "HIGH 3, NO VALUE 5, LOW 1"},
             {"an earlier log replaced", {high3}, {low2}, '<', "LOW 1, LOW 2"}};
    for (const auto& [name, november, december, change, folded] : rows) {
        QTemporaryDir dir;
        const QString earlier = dir.filePath("11-2026-Events.txt"),
                      later = dir.filePath("12-2026-Events.txt");
        for (const auto& [path, events] : {std::pair(earlier, november), std::pair(later, december)})
            ASSERT_TRUE(events.empty() || AppendEvents(path, events));
        FoldedLogs logs(dir.path());
        logs.Follow();
        const QString other = dir.filePath("other");
        if (change == '=')
            WriteBytes(later, Bytes(high3));
        else
            ASSERT_TRUE(
                AppendEvents(other, change == '>' ? std::vector{high3, none5, low1} : std::vector{low1}) &&
                ::rename(qPrintable(other), qPrintable(change == '>' ? later : earlier)) == 0);
        logs.Follow();
        QStringList alarms;
        for (const CurrentAlarm& a : logs.Alarms().alarms)
            alarms << a.kind + u' ' + QString::number(a.channel);
        EXPECT_EQ(alarms.join(", "), QString(folded)) << name;
    }
}

// A local SMTP server on a free port of 127.0.0.1: prints its port, then each
// mail as a strict parser reads it (a defect, such as text without an empty
// line after the headers, ends the server with its name).
constexpr const char* SmtpServer = R"(
import asyncio, sys, email.parser, email.policy, aiosmtpd.smtp as s
class Strict:
    async def handle_DATA(self, server, session, envelope):
        mail = email.parser.BytesParser(policy=email.policy.strict).parsebytes(envelope.original_content)
        print("SUBJECT " + mail["Subject"] + "\nBODY " + mail.get_content() + "END", flush=True)
        return "250 OK"
async def main():
    server = await asyncio.get_running_loop().create_server(lambda: s.SMTP(Strict()), "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await asyncio.Event().wait()
asyncio.run(main())
)";

// As the README has it: msmtp reads the mail from the standard input.
TEST(NotifierTest, AMailReachesTheServerWithTheEventAsText) {
    QTemporaryDir dir;
    QProcess server;
    server.start("/usr/bin/python3", {"-u", "-c", SmtpServer});
    ASSERT_TRUE(WaitUntil([&] { return server.canReadLine(); })) << server.readAllStandardError().constData();
    const QString rc = dir.filePath("msmtprc"), planted = dir.filePath("planted");
    WriteBytes(rc, "account plant\nhost 127.0.0.1\nport " + server.readLine() + "from t@plant.example\n");
    const QString text = "Kessel \"Ä\"; $(touch " + planted + ") `touch " + planted + "`\nBcc: x@y 'q'";
    QStringList said;
    CommandRunner notifier({{"/usr/bin/msmtp", "-C", rc, "-a", "plant", "shift@plant.example"}}, {},
                           [&](const QString& line) { said << line; });
    notifier.Add({Fed(Alarm("HIGH", 3, "RAISED", "  +10.700", "10.0", qPrintable(text)), 7,
                      QDateTime::currentMSecsSinceEpoch())});
    QByteArray mail;
    ASSERT_TRUE(WaitUntil([&] { return (mail += server.readAllStandardOutput()).contains("END"); }))
        << qPrintable(said.join('\n')) << server.readAllStandardError().constData();
    EXPECT_TRUE(WaitUntil([&] { return Passed(notifier.Notified()) == 7; })) << "once the server answered";
    server.kill(), server.waitForFinished();
    const QString got = QString::fromUtf8(mail), oneLine = QString(text).replace(u'\n', u' ');
    EXPECT_TRUE(
        got.contains("SUBJECT TARVEK: Ch.3 above maximum raised: " + oneLine + "\n") &&
        got.contains("BODY 2026-12-08 10:15:30 Ch.3 above maximum raised, value 10.700, limit 10.0: " +
                     oneLine))
        << qPrintable(got);
    EXPECT_FALSE(QFile::exists(planted));
}

TEST(NotifierTest, AFailingCommandIsRetriedAndAHangingOneKilledWhileTheLoopGoesOn) {
    QTemporaryDir dir;
    const QByteArray ran = dir.filePath("ran").toUtf8(), pid = dir.filePath("pid").toUtf8();
    WriteBytes(dir.filePath("flaky.sh"),
               "test -e " + ran + " && exit 0; touch " + ran + "; echo no server >&2; exit 1");
    WriteBytes(dir.filePath("hang.sh"), "sleep 600 & echo $! > " + pid + "; wait");
    QStringList said;
    const auto say = [&](const QString& line) { said << line; };
    CommandRunner retried({{"/bin/sh", dir.filePath("flaky.sh")}, 0, 30, 3600, 100}, {}, say);
    retried.Add({Fed(Alarm("HIGH", 3, "RAISED"), 1, QDateTime::currentMSecsSinceEpoch())});
    ASSERT_TRUE(WaitUntil([&] { return Passed(retried.Notified()) == 1; }));
    EXPECT_EQ(said,
              (QStringList{"notify_command /bin/sh failed (exit status 1: no server); tried again in 0.1 s, "
                           "then less often",
                           "notify_command /bin/sh works again"}));
    CommandRunner hanging({{"/bin/sh", dir.filePath("hang.sh")}, 0, 1}, {}, say);
    hanging.Add({Fed(Alarm("LOW", 2, "RAISED"), 4, QDateTime::currentMSecsSinceEpoch())});
    ASSERT_TRUE(WaitUntil([&] { return said.size() == 3; }, 5000));
    EXPECT_TRUE(said[2].contains("(no end after 1 s, killed)")) << qPrintable(said[2]);
    const QByteArray stat = "/proc/" + ReadBytes(pid).trimmed() + "/stat"; // gone, or a zombie
    EXPECT_TRUE(WaitUntil([&] { return !ReadBytes(stat).contains(") S "); }, 2000)) << "and what it started";
}

} // namespace
