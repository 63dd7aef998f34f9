// tarvek-publish: its payloads and settings as tables, its feed of records
// over replaced and cut files, and its behaviour with a real broker (started
// once for the file on 127.0.0.1, stopped and started again by the tests).
#include "config/SettingRecords.h"
#include "data/EventLog.h"
#include "data/MonthFiles.h"
#include "data/NumberText.h"
#include "data/StoredTime.h"
#include "data/StoringData.h"
#include "publish/EventStream.h"
#include "publish/MqttLink.h"
#include "publish/Payload.h"
#include "publish/PublishConfig.h"
#include "publish/RecordFeed.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvek;

namespace {

StoredRecord Parsed(const QByteArray& line) {
    StoredRecord r;
    EXPECT_EQ(ParseDataRecord(line.constData(), &r), RecordKind::Data) << line.constData();
    return r;
}

// --- Payloads ---

// Each row: the zone, the stored times "dd-mm-yyyy hh:mm:ss" in order, the
// true time of the last. Europe/Berlin leaves summer time on 2026-10-25 at
// 03:00 (02:00-02:59 twice) and enters it on 2026-03-29 at 02:00 (skipped).
TEST(RecordPayloadTest, TheStoredDigitsAndTheTrueTime) {
    const std::vector<std::tuple<const char*, const char*, std::vector<QByteArray>, QByteArray>> rows{
        {"winter", "Europe/Berlin", {"01-11-2026 00:00:30"}, "2026-10-31T23:00:30Z"},
        {"repeated hour, first pass",
         "Europe/Berlin",
         {"25-10-2026 01:59:30", "25-10-2026 02:30:00"},
         "2026-10-25T00:30:00Z"},
        {"repeated hour, second pass",
         "Europe/Berlin",
         {"25-10-2026 02:30:00", "25-10-2026 02:59:30", "25-10-2026 02:00:00"},
         "2026-10-25T01:00:00Z"},
        {"skipped hour", "Europe/Berlin", {"29-03-2026 02:30:00"}, "2026-03-29T01:30:00Z"},
        {"utc", "UTC", {"31-12-2026 23:59:30"}, "2026-12-31T23:59:30Z"}};
    for (const auto& [name, zone, times, utcOfLast] : rows) {
        StoredTimeToUtc clock{QTimeZone(zone)};
        QByteArray payload;
        for (const QByteArray& t : times) {
            const StoredRecord r = Parsed(DataLine(
                t.mid(11),
                {"+12.345", "-0.500", " No Data ", " ======= ", "+0.000", "-12345.68", "+9999.999", "+2"},
                t.left(10)));
            payload = RecordPayload("10-2026-Data.txt", 5, r, clock.ToUtc(r.localMs));
        }
        const QByteArray& last = times.back();
        EXPECT_EQ(payload, "{\"file\":\"10-2026-Data.txt\",\"record\":5,\"time\":\"" + last.mid(6, 4) + '-' +
                               last.mid(3, 2) + '-' + last.left(2) + 'T' + last.mid(11) + "\",\"utc\":\"" +
                               utcOfLast +
                               "\",\"values\":[12.345,-0.500,null,null,0.000,-12345.68,9999.999,2]}")
            << name;
    }
}

#define TAILX(low, high, state, more)                                                                        \
    ",\"name\":\"Boiler \\\"1\\\"\",\"unit\":\"Bar\",\"low\":" low ",\"high\":" high ",\"state\":\"" state   \
    "\"" more "}"
#define TAIL(low, high, state) TAILX(low, high, state, "")
// Each row: the stored value text, the limits, the payload from "value" on.
TEST(ChannelPayloadTest, ValueLimitsAndState) {
    const std::vector<std::tuple<const char*, QByteArray, QString, QString, QByteArray>> rows{
        {"between", "+12.345", "-100.0", "+100.0", "12.345" TAIL("-100.0", "100.0", "normal")},
        {"below", "-100.001", "-100.0", "100", "-100.001" TAIL("-100.0", "100", "low")},
        {"above", "+100.5", "-.5", "100.", "100.5" TAIL("-0.5", "100", "high")},
        {"at a limit", "+100.0", "-100.000", "100", "100.0" TAIL("-100.000", "100", "normal")},
        {"gap", " No Data ", "-1", "1", "null" TAIL("-1", "1", "none")},
        {"no limits", "-5", "", "1.2.3", "-5" TAIL("null", "null", "normal")},
        {"a minimum not below the maximum", "+0.1", "5", "-0",
         "0.1" TAILX("null", "null", "normal", ",\"problem\":\"Ch.1 alarm minimum 5 not below maximum -0\"")},
        {"limit not a number", "+1", "1e3", "abc", "1" TAIL("null", "null", "normal")}};
    for (const auto& [name, value, low, high, expected] : rows) {
        const StoredRecord r = Parsed(DataLine("00:00:30", {value}, "01-11-2026"));
        ChannelSettings channel{"Boiler \"1\"", "Bar", true, true, ParseLimit(low), ParseLimit(high), {}};
        channel.limits = LimitsOf(channel.minimum, channel.maximum, 1);
        EXPECT_EQ(ChannelPayload(r.values[0], r.localMs, r.localMs, channel),
                  "{\"time\":\"2026-11-01T00:00:30\",\"utc\":\"2026-11-01T00:00:30Z\",\"value\":" + expected)
            << name;
    }
}

// --- The feed of records ---

class RecordFeedTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        state.ScanTime = "00:00:00";
        std::fill(state.ChannelValue.begin() + 1, state.ChannelValue.end(), "   +1.000");
    }
    void Store(const QString& time, const QString& first = "   +1.000", const QString& date = "01-11-2026") {
        state.ScanDate = date;
        state.ScanTime = time;
        state.ChannelValue[1] = first;
        ASSERT_TRUE(StoreDataRecord(state));
    }
};

// A script of what happens in the data folder, a read after each step:
// "S dd-mm-yyyy hh:mm:ss" the logger stores, "P mm-yyyy n" a file of n
// records is planted, "T mm-yyyy" a twin name with a trailing line feed,
// "L mm-yyyy" a link, "F mm-yyyy" a FIFO, "M a b" renamed, "restart" through the state file.
struct FeedCase {
    const char* name;
    QStringList steps;
    QString said; // a part of what the feed said
};

class RecordFeedScript : public RecordFeedTest, public ::testing::WithParamInterface<FeedCase> {};

TEST_P(RecordFeedScript, EveryStoredRecordIsReadAndNothingElse) {
    const QString folder = DataPath({}).chopped(1), statePath = state.AppFolder + "/state";
    const auto file = [&](const QString& month) { return DataPath(month + "-Data.txt"); };
    QDir().mkpath(folder);
    auto feed = std::make_unique<RecordFeed>(folder);
    QSet<QString> stored, read;
    QStringList said;
    for (const QString& step : GetParam().steps) {
        const QStringList w = step.split(' ');
        if (w[0] == "S") {
            Store(w[2], "   +1.000", w[1]);
            stored += DataFileName(w[1]) + ':' +
                      QString::number(ReadBytes(DataPath(DataFileName(w[1]))).size() / DataRecordLength - 1);
        } else if (w[0] == "P" || w[0] == "T") {
            QByteArray bytes = DataHeader(w.value(2, "1").toInt());
            for (int n = 1; n <= w.value(2, "1").toInt(); ++n) {
                bytes += DataLine("00:00:0" + QByteArray::number(n), {}, "01-" + w[1].toLatin1());
                stored += w[0] == "P" ? w[1] + "-Data.txt:" + QString::number(n) : QString();
            }
            WriteBytes(file(w[1]) + (w[0] == "T" ? "\n" : ""), bytes);
        } else if (w[0] == "L") {
            WriteBytes(state.AppFolder + "/elsewhere",
                       DataHeader(1) + DataLine("00:00:00", {}, "01-11-2026"));
            ASSERT_EQ(::symlink(qPrintable(state.AppFolder + "/elsewhere"), qPrintable(file(w[1]))), 0);
        } else if (w[0] == "F") {
            ASSERT_EQ(::mkfifo(qPrintable(file(w[1])), 0664), 0);
        } else if (w[0] == "M") {
            ASSERT_TRUE(QFile::rename(file(w[1]), file(w[2])));
        } else if (w[0] == "restart") {
            QString error;
            std::optional<int> former;
            ASSERT_TRUE(SavePosition(statePath, feed->Position(), &error)) << qPrintable(error);
            const std::optional<FeedPosition> position = LoadPosition(statePath, &error, &former);
            ASSERT_TRUE(position) << qPrintable(error);
            EXPECT_EQ(*position, feed->Position());
            feed = std::make_unique<RecordFeed>(folder);
            feed->SeekAfter(*position);
        }
        std::vector<FedRecord> records;
        feed->Read(100'000, records);
        for (const FedRecord& r : records)
            read += r.file + ':' + QString::number(r.position.number);
        said += feed->TakeNotes();
    }
    stored.remove({});
    EXPECT_EQ(QSet<QString>(read).subtract(stored), QSet<QString>()) << "read, never stored";
    EXPECT_EQ(stored.subtract(read), QSet<QString>()) << "stored, never read";
    EXPECT_TRUE(said.join('\n').contains(GetParam().said)) << qPrintable(said.join('\n'));
}

QStringList TwoYearsOfMonths() {
    QStringList steps;
    for (int m = 0; m < 24; ++m)
        steps += QStringLiteral("P %1-%2 1").arg(m % 12 + 1, 2, 10, QChar('0')).arg(2025 + m / 12);
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Publish, RecordFeedScript,
    ::testing::Values(
        FeedCase{"cut",
                 {"S 01-11-2026 00:00:00", "S 01-11-2026 00:00:30", "restart", "P 11-2026 1"},
                 "holds 1 records, fewer than the 2 sent; sending the file again from its start"},
        FeedCase{"replaced",
                 {"S 01-11-2026 00:00:00", "S 01-11-2026 00:00:30", "P 11-2026 2"},
                 "record 2 is no longer the one sent; sending the file again from its start"},
        FeedCase{"clock_set_back",
                 {"S 30-11-2026 23:59:00", "S 01-12-2026 00:00:00", "restart", "S 30-11-2026 23:59:30",
                  "restart", "S 30-11-2026 23:59:45"},
                 ""},
        FeedCase{"planted_future_file",
                 {"S 01-11-2026 00:00:00", "P 12-2099 0", "S 01-11-2026 00:00:30", "restart", "P 12-2099 1",
                  "S 01-11-2026 00:01:00"},
                 "12-2099-Data.txt: is dated after next month"},
        FeedCase{"line_feed_twin",
                 TwoYearsOfMonths() + QStringList{"T 12-2026", "restart", "S 15-12-2026 00:00:00"}, ""},
        FeedCase{"link_in_place_of_the_file_read",
                 {"S 01-11-2026 00:00:00", "M 11-2026 keep", "L 11-2026", "S 01-12-2026 00:00:00", "restart",
                  "M 11-2026 gone", "M keep 11-2026", "S 01-11-2026 00:00:30"},
                 "11-2026-Data.txt: cannot open (is a symbolic link); its records are not sent"},
        FeedCase{"fifo_and_a_file_archived",
                 {"S 01-11-2026 00:00:00", "F 10-2026", "M 11-2026 archived", "S 01-12-2026 00:00:00",
                  "restart", "S 01-12-2026 00:00:30"},
                 "10-2026-Data.txt: cannot open"}),
    RowName);

// A state file read (then written again, the owner's only), refused saying
// how to recover, or one that cannot be written ("full").
TEST_F(RecordFeedTest, AStateFileIsReadWrittenOrRefusedSayingHowToRecover) {
    const QString path = state.AppFolder + "/state",
                  bad = "is not a state file of tarvek-publish; remove it to "
                        "start again as `start` says";
    const QByteArray events = "events=12-2026-Events.txt 9\nnotified=12-2026-Events.txt 8\n";
    const std::vector<std::tuple<const char*, QByteArray, QString>> rows{
        {"positions", "tarvek-publish state 2\nutc=5\n10-2026-Data.txt 7 \n11-2026-Data.txt 0 \n",
         "10-2026-Data.txt=7 11-2026-Data.txt=0 utc=5 former=-1"},
        {"one event log",
         "tarvek-publish state 3\nutc=\nevents=12-2026-Events.txt 9\nnotified= 0\n10-2026-Data.txt 7 \n",
         "10-2026-Data.txt=7 utc=-1 former=-1 12-2026-Events.txt:9+earlier"},
        {"each event log",
         "tarvek-publish state 4\nutc=\nevents=11-2026-Events.txt 3 12-2026-Events.txt 9\nnotified=\n",
         "utc=-1 former=-1 11-2026-Events.txt:3 12-2026-Events.txt:9"},
        {"former layout", "file=11-2026-Data.txt\nrecord=3\nbytes=\n",
         "11-2026-Data.txt=3 utc=-1 former=24322"},
        {"link", "link", "is a symbolic link; remove it to start again as `start` says"},
        {"full disk", "full", "File too large"},
        {"no record bytes", "tarvek-publish state 2\nutc=5\n10-2026-Data.txt 7\n", bad},
        {"no time line", "tarvek-publish state 2\nutc:\n", bad},
        {"time no number", "tarvek-publish state 3\nutc=x\n" + events, bad},
        {"events place damaged",
         "tarvek-publish state 3\nutc=\nevents=12-2026-Events.txt x\n" + events.mid(28), bad},
        {"events place with more",
         "tarvek-publish state 3\nutc=\nevents=12-2026-Events.txt 9 9\n" + events.mid(28), bad},
        {"events of no log", "tarvek-publish state 3\nutc=\nevents=nolog 9\n" + events.mid(28), bad},
        {"a log without its number", "tarvek-publish state 4\nutc=\nevents=12-2026-Events.txt\nnotified=\n",
         bad},
        {"negative record", "tarvek-publish state 2\nutc=\n11-2026-Data.txt -1 \n", bad},
        {"a file twice", "tarvek-publish state 2\nutc=\n11-2026-Data.txt 1 \n11-2026-Data.txt 2 \n", bad},
        {"no month file", "tarvek-publish state 2\nutc=\nnotes.txt 1 \n", bad},
        {"record bytes cut",
         "tarvek-publish state 2\nutc=\n11-2026-Data.txt 1 " + QByteArray(80, 'x').toBase64() + "\n", bad},
        {"former, cut", "file=11-2026-Data.txt\nrecord=3\n", bad},
        {"former, no month file", "file=notes.txt\nrecord=3\nbytes=\n", bad},
        {"no line end", "tarvek-publish state 2\nutc=", bad}};
    for (const auto& [name, text, outcome] : rows) {
        QFile::remove(path);
        QString error;
        std::optional<int> former;
        if (text == "link") {
            WriteBytes(path + ".real", PositionText({}));
            ASSERT_EQ(::symlink(qPrintable(path + ".real"), qPrintable(path)), 0);
        } else if (text == "full") {
            const FileSizeLimit full(10);
            EXPECT_FALSE(SavePosition(path, {{{"11-2026-Data.txt", {1, {}}}}, 5, {}, {}}, &error));
            EXPECT_EQ(error.section(": ", 1), outcome);
            continue;
        } else {
            WriteBytes(path, text);
        }
        const std::optional<FeedPosition> position = LoadPosition(path, &error, &former);
        QString read;
        if (position) {
            for (const auto& [file, at] : position->files)
                read += file + '=' + QString::number(at.number) + ' ';
            read += "utc=" + QString::number(position->utcMs.value_or(-1)) +
                    " former=" + QString::number(former.value_or(-1));
            for (const std::optional<EventPosition>& at : {position->events, position->notified})
                for (const auto& [log, record] : at ? at->logs : std::map<QString, qint64>{})
                    read +=
                        ' ' + log + ':' + QString::number(record) + (at->passedBefore < 0 ? "" : "+earlier");
            EXPECT_TRUE(SavePosition(path, *position, &error)) << name;
            EXPECT_EQ(QFileInfo(path).permissions() & 0x0077, 0) << "the owner's only";
        }
        EXPECT_EQ(position ? read : error.mid(path.size() + 2), outcome) << name;
    }
}

// Each row: `start`, the former state's month (its log, December's, goes on
// from record 0 and every earlier log is passed), then the position in each
// month file and event log.
TEST_F(RecordFeedTest, AFirstRunStartsWhereStartSays) {
    Store("23:59:30", "   +1.000", "31-10-2026");
    Store("00:00:00");
    Store("00:00:30");
    Store("00:00:00", "   +1.000", "01-12-2026");
    ASSERT_TRUE(AppendEvents(DataPath("11-2026-Events.txt"),
                             {EventOf("01-11-2026", "00:00:00", "HIGH", 1, "RAISED"),
                              EventOf("01-11-2026", "00:00:30", "LOW", 2, "RAISED")}));
    ASSERT_TRUE(AppendEvents(DataPath("12-2026-Events.txt"),
                             {EventOf("01-12-2026", "00:00:00", "HIGH", 1, "CLEARED")}));
    const QString folder = DataPath({}).chopped(1);
    const std::vector<std::tuple<const char*, StartFrom, std::optional<int>, QString>> rows{
        {"new", {StartFrom::New, 0}, {}, "10-2026=1 11-2026=2 12-2026=1 / 11-2026=2 12-2026=1"},
        {"all", {StartFrom::All, 0}, {}, "/"},
        {"at a record",
         {StartFrom::Time, *ParseStoredTime("2026-11-01T00:00:30")},
         {},
         "10-2026=1 11-2026=1 12-2026=0 / 11-2026=1"},
        {"former state",
         {StartFrom::All, 0},
         MonthKey("11-2026-Data.txt"),
         "10-2026=1 11-2026=0 12-2026=0 / 11-2026=2 12-2026=0"}};
    for (const auto& [name, start, formerKey, expected] : rows) {
        RecordFeed feed(folder);
        const std::optional<FeedPosition> records = StartingPosition(feed, start, formerKey);
        std::optional<EventPosition> events = StartingEventPosition(folder, start);
        if (formerKey)
            events = EventPosition{{{"12-2026-Events.txt", 0}},
                                   MonthKey("12-2026-Events.txt", MonthFileKind::Events)};
        ASSERT_TRUE(records && events && PassEarlierLogs(folder, *events)) << name;
        QStringList positions;
        for (const auto& [file, at] : records->files)
            positions += file.left(7) + '=' + QString::number(at.number);
        positions += "/";
        for (const auto& [log, at] : events->logs)
            positions += log.left(7) + '=' + QString::number(at);
        EXPECT_EQ(positions.join(' '), expected) << name;
    }
}

// --- With a real broker ---

// With port 0: a port free now; otherwise whether something listens there.
int OnLoopback(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof a;
    const bool ok = port == 0 ? ::bind(s, reinterpret_cast<sockaddr*>(&a), length) == 0 &&
                                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0
                              : ::connect(s, reinterpret_cast<sockaddr*>(&a), length) == 0;
    ::close(s);
    return port == 0 ? ntohs(a.sin_port) : ok;
}
int FreePort() {
    return OnLoopback(0);
}
bool Accepts(int port) {
    return OnLoopback(port) != 0;
}

// A broker that takes the connection and never answers: until it does,
// nothing is taken to be sent, and the attempt is the start's thread's alone.
TEST(MqttLinkTest, NothingIsTakenBeforeTheBrokerAnswers) {
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{AF_INET, htons(FreePort()), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_TRUE(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(silent, 1) == 0);
    LinkSettings settings;
    settings.host = "127.0.0.1", settings.port = ntohs(a.sin_port), settings.clientId = "tarvek";
    settings.willTopic = "tarvek/status", settings.willPayload = "offline";
    MqttLink link(settings);
    link.Connect();
    int taken = -1;
    EXPECT_TRUE(WaitUntil([&] { return taken >= 0 || (taken = ::accept(silent, nullptr, nullptr)) >= 0; }));
    RunEventsFor(200); // the start handed back to the loop
    EXPECT_EQ(std::pair(link.IsConnected(), link.Publish("t/status", "online", 1, true)),
              std::pair(false, -1));
    ::close(taken), ::close(silent);
}

QByteArray RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(20'000);
    const QByteArray out = p.readAll();
    EXPECT_EQ(p.exitCode(), 0) << qPrintable(program) << ": " << out.constData();
    return out;
}

// A broker on 127.0.0.1 with a user "tarvek" (password "secret"), a plain
// and a TLS listener, and persistence; as root it runs as its own user, so
// its folder is readable (and its store writable) to everyone.
struct Broker {
    QTemporaryDir dir;
    int port = FreePort(), tlsPort = FreePort();
    QProcess process;

    QString Path(const char* name) const { return dir.path() + u'/' + QLatin1StringView(name); }
    void Create() {
        const QStringList cert =
            QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1")
                .split(u' ');
        RunTool("openssl", cert + QStringList{"-keyout", Path("key.pem"), "-out", Path("cert.pem")});
        RunTool("openssl", cert + QStringList{"-keyout", Path("otherkey.pem"), "-out", Path("otherca.pem")});
        RunTool("mosquitto_passwd", {"-b", "-c", Path("passwd"), "tarvek", "secret"});
        WriteBytes(Path("password"), "secret\n");
        WriteBytes(Path("wrong"), "guess\n");
        for (const char* name : {"password", "wrong"})
            QFile::setPermissions(Path(name), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        WriteBytes(Path("mosquitto.conf"),
                   QStringLiteral("per_listener_settings false\nallow_anonymous false\npassword_file %1\n"
                                  "persistence true\npersistence_location %2/\nmax_queued_messages 0\n"
                                  "log_dest none\n"
                                  "listener %3 127.0.0.1\nlistener %4 127.0.0.1\ncertfile %5\nkeyfile %6\n")
                       .arg(Path("passwd"), dir.path(), QString::number(port), QString::number(tlsPort),
                            Path("cert.pem"), Path("key.pem"))
                       .toUtf8());
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        for (const char* name : {"key.pem", "cert.pem", "passwd", "mosquitto.conf"})
            QFile::setPermissions(Path(name),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    }
    // False when the broker ended instead (a port was taken meanwhile).
    bool Start() {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start("mosquitto", {"-c", Path("mosquitto.conf")});
        const auto up = [&] { return Accepts(port) && Accepts(tlsPort); };
        const auto ended = [&] { return process.state() != QProcess::Running; };
        return process.waitForStarted() && WaitUntil([&] { return ended() || up(); }, 5000) && !ended();
    }
    void Stop() {
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(5000));
    }
};

class PublishBroker : public RecordFeedTest {
  protected:
    static void SetUpTestSuite() {
        broker_ = new Broker;
        broker_->Create();
        for (int attempt = 0; attempt < 3 && !broker_->Start(); ++attempt) {
            broker_->port = FreePort();
            broker_->tlsPort = FreePort();
            broker_->Create();
        }
    }
    static void TearDownTestSuite() {
        broker_->Stop();
        delete broker_;
    }
    void SetUp() override {
        RecordFeedTest::SetUp();
        ASSERT_EQ(broker_->process.state(), QProcess::Running);
        prefix_ = QStringLiteral("t/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        // Channels 1 and 2 are active (limits -9999 and 9999), the others not.
        QByteArray setup = ChannelFile({}, {});
        for (int c = 3; c <= 8; ++c)
            setup[(ChannelRecordOffset + c - 1) * SettingRecordLength + 55] = '0';
        WriteBytes(SettingPath(ChannelParametersFile), setup);
    }
    void TearDown() override {
        for (QProcess* p : {&publisher_, &subscriber_})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
    }
    // A configuration `name`.conf with its own state file, `extra` added;
    // with an empty `host`, it only notifies.
    QString Config(const QString& extra, const QString& name = "publish", int port = 0,
                   const QString& host = "127.0.0.1") {
        const QString path = state.AppFolder + u'/' + name + ".conf";
        WriteBytes(path, QStringLiteral("host = %1\nport = %2\nusername = tarvek\nprefix = %3\ndata = %4\n"
                                        "state = %5.state\nstart = all\nkeepalive = 5\n%6\n")
                             .arg(host, QString::number(port ? port : broker_->port), prefix_,
                                  DataPath({}).chopped(1), state.AppFolder + u'/' + name, extra)
                             .toUtf8());
        return path;
    }
    // The subscriber goes first: it must not take what is queued for it.
    void StopBroker() {
        subscriber_.kill();
        subscriber_.waitForFinished();
        broker_->Stop();
    }
    // SIGTERM ends a publisher within two seconds, with exit status 0.
    static bool EndsOnTerm(QProcess& p) {
        p.terminate();
        return p.waitForFinished(2000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    static void StartPublisher(QProcess& p, const QString& config, const QStringList& more = {}) {
        p.start(TARVEK_PUBLISH, QStringList{"--config", config} + more);
        ASSERT_TRUE(p.waitForStarted());
    }
    // Subscribes (QoS 1) to the records as the persistent client "plant",
    // which gets what was queued for it while away.
    void Subscribe(const QString& topic = "record") {
        received_.clear(); // what arrives after a resumed session's CONNACK, SUBACK or not, counts
        subscriber_.start("stdbuf", {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p",
                                     QString::number(broker_->port), "-u", "tarvek", "-P", "secret", "-q",
                                     "1", "-c", "-i", "plant", "-t", prefix_ + '/' + topic, "-d"});
        ASSERT_TRUE(WaitUntil(
            [&] { return received_.append(subscriber_.readAllStandardOutput()).contains("SUBACK"); }, 5000));
    }
    // The time of each record received so far, e.g. "00:00:30/1.000".
    QStringList Records() {
        received_ += subscriber_.readAllStandardOutput();
        QStringList records;
        for (const QByteArray& line : received_.split('\n'))
            if (line.startsWith("{\"file\""))
                records += QString::fromLatin1(line.mid(line.indexOf("\"time\":") + 19, 8) + '/' +
                                               line.mid(line.indexOf("[") + 1).split(',').first());
        return records;
    }
    // The numbers of the records (or events) received since the last call.
    std::vector<int> NewNumbers() {
        received_ += subscriber_.readAllStandardOutput();
        const qsizetype end = received_.lastIndexOf('\n') + 1;
        std::vector<int> numbers;
        for (const QByteArray& line : received_.left(end).split('\n'))
            if (line.startsWith("{\"file\""))
                numbers.push_back(line.mid(line.indexOf("\"record\":") + 9).split(',').first().toInt());
        received_.remove(0, end);
        return numbers;
    }
    bool WaitForRecords(int n, int ms = 10'000) {
        return WaitUntil([&] { return Records().size() >= n; }, ms);
    }
    // The retained messages a subscriber arriving now gets.
    QStringList Retained(int count) {
        QStringList retained;
        const QByteArray out =
            RunTool("mosquitto_sub",
                    {"-h", "127.0.0.1", "-p", QString::number(broker_->port), "-u", "tarvek", "-P", "secret",
                     "-t", prefix_ + "/#", "-v", "--retained-only", "-C", QString::number(count), "-W", "3"});
        for (const QByteArray& line : out.split('\n'))
            if (!line.isEmpty())
                retained += QString::fromUtf8(line.mid(prefix_.size() + 1));
        retained.sort();
        return retained;
    }

    static inline Broker* broker_ = nullptr;
    QString prefix_;
    QProcess publisher_, subscriber_;
    QByteArray received_;
};

TEST_F(PublishBroker, RecordsArriveInOrderWithinASecondAndRetainedValuesWait) {
    Store("00:00:00", "  +12.345");
    Store("00:00:30", "   -0.500");
    Store("00:01:00", " No Data ");
    Subscribe();
    StartPublisher(publisher_, Config("password_file = " + broker_->Path("password")));
    ASSERT_TRUE(WaitForRecords(3));
    EXPECT_EQ(Records(), QStringList({"00:00:00/12.345", "00:00:30/-0.500", "00:01:00/null"}));

    Store("00:01:30", "+10000.50");
    ASSERT_TRUE(WaitForRecords(4, 1000)) << "a stored record arrives within a second";
    EXPECT_EQ(Records().last(), "00:01:30/10000.50");

    const QString channel = "channel/%1 {\"time\":\"2026-11-01T00:01:30\",\"value\":%2,\"name\":\"Ch.%1\","
                            "\"unit\":\"Bar\",\"low\":-9999,\"high\":9999,\"state\":\"%3\"}";
    EXPECT_EQ(Retained(3).replaceInStrings(QRegularExpression(",\"utc\":\"[^\"]*\""), ""),
              QStringList({channel.arg(1).arg("10000.50", "high"), channel.arg(2).arg("1.000", "normal"),
                           "status online"}));

    ::kill(publisher_.processId(), SIGKILL);
    publisher_.waitForFinished();
    EXPECT_TRUE(WaitUntil([&] { return Retained(3).last() == "status offline"; }, 3000))
        << "the will says offline";
}

TEST_F(PublishBroker, FailuresAreSaidOnceAndThePublisherStaysUp) {
    const QString tls = "tls = yes\npassword_file = " + broker_->Path("password") + "\ncafile = ";
    QProcess wrongPassword, wrongCa, badConfig;
    StartPublisher(wrongPassword, Config("password_file = " + broker_->Path("wrong"), "wrong"));
    StartPublisher(wrongCa, Config(tls + broker_->Path("otherca.pem"), "otherca", broker_->tlsPort));
    StartPublisher(publisher_, Config(tls + broker_->Path("cert.pem"), "tls", broker_->tlsPort));
    StartPublisher(badConfig, Config("qos = 7", "bad"));

    ASSERT_TRUE(badConfig.waitForFinished(5000));
    EXPECT_EQ(badConfig.exitCode(), 2);
    EXPECT_EQ(badConfig.readAllStandardError(),
              "tarvek-publish: " + state.AppFolder.toUtf8() +
                  "/bad.conf: qos: \"7\" is not a whole number from 0 to 2\n");

    // The data folder appears after the start: the verified TLS session sends what is stored in it.
    Subscribe();
    QThread::msleep(300);
    Store("00:00:00", "   +7.250");
    ASSERT_TRUE(WaitForRecords(1, 3000));
    EXPECT_EQ(Records(), QStringList({"00:00:00/7.250"}));
    QThread::msleep(1500); // the next attempt of the refused ones
    for (QProcess* p : {&wrongPassword, &wrongCa, &publisher_}) {
        EXPECT_EQ(p->state(), QProcess::Running);
        EXPECT_TRUE(EndsOnTerm(*p));
    }
    EXPECT_EQ(Retained(3).last(), "status offline") << "said on a clean end";
    const QString broker = QStringLiteral("the broker 127.0.0.1:%1 ");
    const QString missing =
        "tarvek-publish: " + DataPath({}).chopped(1) + ": the data folder does not exist; waiting for it\n";
    EXPECT_EQ(
        wrongPassword.readAllStandardError(),
        "tarvek-publish: " + broker_->Path("wrong") +
            ": the password goes to the broker 127.0.0.1 without TLS, readable on the network\n" + missing +
            "tarvek-publish: not authorised: " + broker.arg(broker_->port) +
            "refuses the user \"tarvek\" (Connection Refused: not authorised.); trying again every 60 s\n");
    const QString refused = QString(wrongCa.readAllStandardError()).remove(missing);
    EXPECT_TRUE(refused.startsWith("tarvek-publish: TLS with " + broker.arg(broker_->tlsPort) + "failed ("))
        << qPrintable(refused);
    EXPECT_TRUE(refused.contains("certificate verify failed")) << qPrintable(refused);
    EXPECT_TRUE(refused.contains("no connection without TLS is tried")) << qPrintable(refused);
    EXPECT_EQ(refused.count('\n'), 1) << "said once, not at every try";
    EXPECT_EQ(publisher_.readAllStandardError(),
              missing + "tarvek-publish: connected to " + broker.arg(broker_->tlsPort).trimmed() + "\n");
}

TEST_F(PublishBroker, ABrokerGoneTwentyTimesUnderABackFillIsReconnectedWithinFiveSecondsEachTime) {
    QByteArray bytes = DataHeader(5000);
    for (int n = 0; n < 5000; ++n)
        bytes += DataLine(StoredTimeText(n * 30'000).mid(11), {}, "01-11-2026");
    WriteBytes(DataPath("11-2026-Data.txt"), bytes);
    QSet<int> numbers;
    const auto collect = [&] {
        for (const int n : NewNumbers())
            numbers.insert(n);
        return numbers.size();
    };
    Subscribe();
    StartPublisher(publisher_, Config("password_file = " + broker_->Path("password")));
    QByteArray said;
    for (int stop = 0; stop < 20; ++stop) {
        ASSERT_TRUE(WaitUntil(
            [&] { return said.append(publisher_.readAllStandardError()).count("connected to") > stop; },
            5000))
            << stop << said.constData();
        // The subscriber stays and reconnects: killed, it could lose a
        // message it had acknowledged and not yet printed.
        broker_->Stop();
        collect();
        Store(StoredTimeText((5000 + stop) * 30'000).mid(11));
        ASSERT_TRUE(broker_->Start());
    }
    EXPECT_TRUE(WaitUntil([&] { return collect() == 5020; }, 20'000)) << numbers.size();
    EXPECT_TRUE(EndsOnTerm(publisher_));
}

TEST_F(PublishBroker, ARestartInTheRepeatedHourKeepsTheTrueTime) {
    // Europe/Berlin: 02:00-02:59 comes twice, first in summer time.
    for (const char* time : {"02:30:00", "02:59:30", "02:00:00", "02:30:00"})
        Store(time, "   +1.000", "25-10-2026");
    Subscribe();
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "Europe/Berlin");
    run.setProcessEnvironment(environment);
    const QString config = Config("password_file = " + broker_->Path("password"));
    StartPublisher(run, config, {"--once"});
    ASSERT_TRUE(run.waitForFinished(10'000));
    Store("02:45:00", "   +1.000", "25-10-2026");
    StartPublisher(run, config, {"--once"});
    ASSERT_TRUE(run.waitForFinished(10'000));
    ASSERT_TRUE(WaitForRecords(5));
    EXPECT_TRUE(received_.contains("\"time\":\"2026-10-25T02:45:00\",\"utc\":\"2026-10-25T01:45:00Z\""))
        << received_.constData();
}

// Two publishers with one client id take the session from each other: said.
TEST_F(PublishBroker, TwoPublishersWithOneClientIdAreToldSo) {
    QProcess twin;
    const QString id = "password_file = " + broker_->Path("password") + "\nclient_id = twin";
    StartPublisher(publisher_, Config(id));
    StartPublisher(twin, Config(id, "twin"));
    QByteArray said;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return said.append(publisher_.readAllStandardError() + twin.readAllStandardError())
                .contains("another client may be using the client id \"twin\"");
        },
        20'000))
        << said.constData();
    twin.kill();
    twin.waitForFinished();
}

// A name server that never answers holds up no stop; a name it does not
// know is said with the reason.
TEST_F(PublishBroker, ANameLookupThatStallsNeverHoldsUpTheStopOneThatFailsIsSaid) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", TARVEK_STALLED_LOOKUP);
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    QDir().mkpath(DataPath({}));
    QProcess unknown;
    for (QProcess* p : {&publisher_, &unknown}) {
        const QString host = p == &unknown ? "unknown" : "stalled",
                      config = Config("", host, 0, host + ".invalid");
        p->setProcessEnvironment(environment);
        StartPublisher(*p, config, p == &unknown ? QStringList{"--once", "--timeout", "1"} : QStringList{});
    }
    QThread::msleep(1000);
    EXPECT_TRUE(EndsOnTerm(publisher_)) << publisher_.readAllStandardError().constData();
    ASSERT_TRUE(unknown.waitForFinished(5000));
    EXPECT_EQ(
        QString(unknown.readAllStandardError()).section('\n', 0, 0),
        QStringLiteral("tarvek-publish: cannot reach the broker unknown.invalid:%1 (Lookup error.); trying "
                       "again after 1 s, then waits doubling up to 60 s")
            .arg(broker_->port));
}

Event Alarm(const char* kind, int channel, const char* event, QDateTime at = {}) {
    at = at.isValid() ? at : QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30));
    return {
        at.toString("dd-MM-yyyy"), at.toString("hh:mm:ss"), kind, channel, event, "  +10.700", "10.0", "op1",
        "Boiler pressure"};
}

// Events in this month's log, then the clock set back across the month end:
// the logger appends to the earlier month's log after the later one was
// read, before and after a restart; then the broker is away a while.
TEST_F(PublishBroker, EventsArriveInOrderAreNotifiedAndTheRetainedAlarmsFollowEveryLog) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString later = now.toString("MM-yyyy") + "-Events.txt",
                  earlier = now.addMonths(-1).toString("MM-yyyy") + "-Events.txt",
                  mail = state.AppFolder + "/mail";
    QDir().mkpath(DataPath({}));
    ASSERT_TRUE(AppendEvents(DataPath(later),
                             {Alarm("HIGH", 3, "RAISED", now), Alarm("NO ANSWER", 0, "RAISED", now)}));
    // A state from before events were sent: they start as `start` says (all).
    WriteBytes(state.AppFolder + "/publish.state", "tarvek-publish state 2\nutc=\n");
    Subscribe("event");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "UTC");
    publisher_.setProcessEnvironment(environment);
    const QString config =
        Config("password_file = " + broker_->Path("password") + "\nnotify_command = /usr/bin/tee -a " + mail);
    StartPublisher(publisher_, config);
    QStringList lines;
    const auto arrived = [&](int n) { // each event's file and record
        WaitUntil(
            [&] {
                lines =
                    QString(received_ += subscriber_.readAllStandardOutput()).split('\n').filter("{\"file\"");
                return lines.size() >= n;
            },
            10'000);
        return QStringList(lines)
            .replaceInStrings(QRegularExpression(R"re(^\{"file":"([^"]+)","record":(\d+),.*)re"), "\\1:\\2")
            .join(' ');
    };
    // Acknowledged and notified, so that a restart repeats nothing.
    const auto saved = [&](const QString& logs) {
        const QByteArray text = ("\nevents=" + logs + "\nnotified=" + logs + '\n').toUtf8();
        return WaitUntil([&] { return ReadBytes(state.AppFolder + "/publish.state").contains(text); },
                         10'000);
    };
    ASSERT_EQ(arrived(2), later + ":1 " + later + ":2");
    const QString time = now.toString("yyyy-MM-ddThh:mm:ss");
    EXPECT_EQ(lines[0], R"({"file":")" + later + R"(","record":1,"time":")" + time + R"(","utc":")" + time +
                            R"(Z","kind":"HIGH","channel":3,"event":"RAISED","value":10.700,"limit":10.0,)"
                            R"("user":"op1","text":"Boiler pressure"})");
    const QString alarm = R"(alarm/3 {"alarms":[{"kind":"HIGH","state":"%1","since":"%2","utc":"%2Z",)"
                          R"("value":10.700,"limit":10.0}]})";
    const QStringList retained = Retained(10);
    EXPECT_TRUE(retained.contains(alarm.arg("active-unacknowledged", time)))
        << qPrintable(retained.join('\n'));
    EXPECT_TRUE(retained.contains(R"(alarm/1 {"alarms":[]})")) << qPrintable(retained.join('\n'));

    ASSERT_TRUE(AppendEvents(DataPath(earlier),
                             {Alarm("HIGH", 3, "ACKNOWLEDGED", now), Alarm("LOW", 1, "RAISED", now)}));
    EXPECT_EQ(arrived(4),
              QStringList({later + ":1", later + ":2", earlier + ":1", earlier + ":2"}).join(' '));
    EXPECT_TRUE(
        WaitUntil([&] { return Retained(10).contains(alarm.arg("active-acknowledged", time)); }, 5000));
    ASSERT_TRUE(saved(earlier + " 2 " + later + " 2"));
    ASSERT_TRUE(EndsOnTerm(publisher_));
    ASSERT_TRUE(AppendEvents(DataPath(earlier), {Alarm("LOW", 1, "CLEARED", now)}));
    StartPublisher(publisher_, config);
    EXPECT_EQ(arrived(5).section(' ', 4), earlier + ":3") << "nothing again";
    ASSERT_TRUE(saved(earlier + " 3 " + later + " 2"));

    StopBroker();
    ASSERT_TRUE(AppendEvents(DataPath(later), {Alarm("HIGH", 3, "CLEARED", now)}));
    ASSERT_TRUE(broker_->Start());
    Subscribe("event");
    EXPECT_EQ(arrived(1), later + ":3");
    QStringList notified = QString(ReadBytes(mail)).split('\n', Qt::SkipEmptyParts);
    for (QString& line : notified)
        line = line.section(' ', 2).section(QRegularExpression("[,:]"), 0, 0);
    EXPECT_EQ(notified, QStringList({"Ch.3 above maximum raised", "Instrument not answering raised",
                                     "Ch.1 below minimum raised", "Ch.1 below minimum cleared",
                                     "Ch.3 above maximum cleared"}));
}

// 25 events every 100 ms for 6 s; the publisher is killed after 4 s and started again.
TEST_F(PublishBroker, AKillWhileEventsStreamRepeatsAtMostWhatWasNotSaved) {
    QDir().mkpath(DataPath({}));
    Subscribe("event");
    const QString config = Config("password_file = " + broker_->Path("password"));
    StartPublisher(publisher_, config);
    for (int step = 0; step < 60; ++step) {
        ASSERT_TRUE(AppendEvents(DataPath("12-2026-Events.txt"), std::vector(25, Alarm("LOW", 1, "RAISED"))));
        if (step == 40) {
            ::kill(publisher_.processId(), SIGKILL);
            publisher_.waitForFinished();
            StartPublisher(publisher_, config);
        }
        WaitUntil([] { return false; }, 100);
    }
    std::vector<int> numbers;
    const auto all = [&] {
        const std::vector<int> more = NewNumbers();
        numbers.insert(numbers.end(), more.begin(), more.end());
        return std::set(numbers.begin(), numbers.end()).size() == 1500;
    };
    ASSERT_TRUE(WaitUntil(all, 20'000)) << numbers.size();
    int steps = 0;
    for (std::size_t i = 1; i < numbers.size(); ++i)
        steps += numbers[i] != numbers[i - 1] + 1;
    EXPECT_LE(steps, 1) << "in order, but for one step back at the restart";
    // Saved at most a second after an acknowledgement: what a second and a
    // half of the stream and the delivery window in flight hold, at most.
    EXPECT_LE(numbers.size() - 1500, 15 * 25 + 100u) << numbers.size();
}

// A broker stopped by SIGSTOP keeps its socket open and acknowledges nothing:
// it is left (by the publisher's own time-out: the keep-alive is an hour) and
// reconnected; then the publisher restarts while it is away.
TEST_F(PublishBroker, NothingIsLostWhileTheBrokerStopsAnsweringOrThePublisherIsAway) {
    Store("00:00:00");
    Subscribe();
    const QString config = Config("password_file = " + broker_->Path("password"));
    WriteBytes(config, ReadBytes(config).replace("keepalive = 5", "keepalive = 3600"));
    StartPublisher(publisher_, config);
    ASSERT_TRUE(WaitForRecords(1));
    ::kill(pid_t(broker_->process.processId()), SIGSTOP);
    Store("00:00:30");
    QByteArray said;
    const auto saidOf = [&](const char* text, int n) {
        return said.append(publisher_.readAllStandardError()).count(text) >= n;
    };
    const bool left = WaitUntil([&] { return saidOf("no acknowledgement within 20 s", 1); }, 30'000);
    ::kill(pid_t(broker_->process.processId()), SIGCONT);
    ASSERT_TRUE(left && WaitUntil([&] { return saidOf("connected to", 2); }, 10'000)) << said.constData();
    ASSERT_TRUE(WaitForRecords(2));
    QStringList records = Records();
    StopBroker();
    ASSERT_TRUE(EndsOnTerm(publisher_));
    Store("00:02:00");
    StartPublisher(publisher_, config);
    Store("00:02:30");
    ASSERT_TRUE(broker_->Start());
    Subscribe();
    ASSERT_TRUE(WaitForRecords(2));
    records += Records();
    records.removeDuplicates(); // what the stopped broker had read may come twice: at least once
    EXPECT_EQ(records, QStringList({"00:00:00/1.000", "00:00:30/1.000", "00:02:00/1.000", "00:02:30/1.000"}));
}

TEST_F(PublishBroker, WithoutAHostTheAlarmsAreOnlyNotifiedEachOnce) {
    const QDateTime now = QDateTime::currentDateTime();
    QDir().mkpath(DataPath({}));
    // A backlog older than notify_max_age, summarised, then the batch held back meanwhile.
    ASSERT_TRUE(AppendEvents(DataPath(now.toString("MM-yyyy") + "-Events.txt"),
                             {Alarm("LOW", 1, "RAISED", now.addSecs(-7200)), Alarm("HIGH", 3, "RAISED", now),
                              Alarm("HIGH", 3, "ACKNOWLEDGED", now)}));
    const QString mail = state.AppFolder + "/mail",
                  config = Config("notify_batch = 3600\nnotify_command = /usr/bin/tee -a " + mail, "publish",
                                  0, "");
    // A command that fails is tried again later; only --once ends on it.
    StartPublisher(publisher_, Config("notify_command = /bin/false", "failing", 0, ""));
    QByteArray said;
    EXPECT_TRUE(WaitUntil([&] { return said.append(publisher_.readAllStandardError()).contains("failed"); }));
    RunEventsFor(500);
    ASSERT_TRUE(EndsOnTerm(publisher_)) << "still running: " << said.constData();
    for (int run = 0; run < 2; ++run) {
        StartPublisher(publisher_, config, {"--once"});
        ASSERT_TRUE(publisher_.waitForFinished(10'000)) << "caught up, the batch runs at once";
        EXPECT_EQ(publisher_.exitCode(), 0);
        EXPECT_EQ(publisher_.readAllStandardError(), "") << "no broker, nothing to say";
    }
    const QList<QByteArray> lines = ReadBytes(mail).split('\n');
    ASSERT_EQ(lines.size(), 3) << "one summary, one event, each once";
    EXPECT_TRUE(lines[0].startsWith("1 alarm events from ")) << lines[0].constData();
    EXPECT_EQ(lines[1], now.toString("yyyy-MM-dd hh:mm:ss").toUtf8() +
                            " Ch.3 above maximum raised, value 10.700, limit 10.0: Boiler pressure");
}

struct OnceCase {
    const char* name;
    const char* plant; // "not_data", "fifo_month", "fifo_state", "open_password", "notify_fails" or ""
    QStringList arguments;
    int exitCode;
    QString said; // a part of stderr
};

class PublishOnce : public PublishBroker, public ::testing::WithParamInterface<OnceCase> {};

TEST_P(PublishOnce, EndsWithWhatItCouldNotDo) {
    const OnceCase& c = GetParam();
    const QString plant = c.plant;
    Store("00:00:00");
    Store("00:00:30");
    const QString password = broker_->Path(plant == "open_password" ? "open" : "password");
    if (plant == "not_data") {
        QByteArray bytes = ReadBytes(DataPath("11-2026-Data.txt"));
        WriteBytes(DataPath("11-2026-Data.txt"), bytes.replace(DataRecordLength + 20, 9, "   +1.2x4"));
    } else if (plant == "fifo_month") {
        ASSERT_EQ(::mkfifo(qPrintable(DataPath("10-2026-Data.txt")), 0664), 0);
    } else if (plant == "fifo_state") {
        ASSERT_EQ(::mkfifo(qPrintable(state.AppFolder + "/publish.state"), 0600), 0);
    } else if (plant == "open_password") {
        WriteBytes(password, "secret\n");
        QFile::setPermissions(password,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    }
    const int port = c.arguments.contains("1") ? FreePort() : 0;
    const QString config = Config("password_file = " + password, "publish", port);
    if (plant == "notify_fails") { // without a broker, only notifying
        ASSERT_TRUE(AppendEvents(DataPath("11-2026-Events.txt"), {Alarm("HIGH", 3, "RAISED")}));
        WriteBytes(config,
                   ReadBytes(config).replace("host = 127.0.0.1", "host =\nnotify_command = /bin/false"));
    }
    StartPublisher(publisher_, config, c.arguments);
    ASSERT_TRUE(publisher_.waitForFinished(10'000));
    EXPECT_EQ(publisher_.exitCode(), c.exitCode);
    const QString said = publisher_.readAllStandardError();
    EXPECT_TRUE(said.contains(c.said)) << qPrintable(said);
}

INSTANTIATE_TEST_SUITE_P(
    Publish, PublishOnce,
    ::testing::Values(
        OnceCase{"all_sent", "", {"--once"}, 0, "connected to"},
        OnceCase{"not_data_record", "not_data", {"--once"}, 1, "1 counted records are not data records"},
        OnceCase{"month_file_unreadable", "fifo_month", {"--once"}, 1, "10-2026-Data.txt cannot be read"},
        OnceCase{"state_file_fifo", "fifo_state", {"--once"}, 3, "is not a regular file; remove it"},
        OnceCase{"password_open_to_others", "open_password", {"--once"}, 0, "others than its owner may read"},
        OnceCase{"broker_away", "", {"--once", "--timeout", "1"}, 1, "was not reached within 1 s"},
        OnceCase{"notification_fails", "notify_fails", {"--once"}, 1, "not every alarm event was notified"}),
    RowName);

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
