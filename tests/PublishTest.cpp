// tarvek-publish: its payloads and settings as tables, its feed of records
// over replaced and cut files, and its behaviour with a real broker (started
// once for the file on 127.0.0.1, stopped and started again by the tests).
#include "common/TextHelpers.h"
#include "data/MonthFiles.h"
#include "data/StoredTime.h"
#include "publish/EventStream.h"
#include "publish/MqttLink.h"
#include "publish/Payload.h"
#include "publish/PublishConfig.h"
#include "publish/RecordFeed.h"
#include "publish/StateFile.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>

using namespace tarvek;

namespace {

StoredRecord Parsed(const QByteArray& line) {
    StoredRecord r;
    EXPECT_EQ(ParseDataRecord(line.constData(), &r), RecordKind::Data) << line.constData();
    return r;
}

// --- Payloads ---

// Each row: the date and the times stored in order, the true time of the
// last; in Europe/Berlin but for "utc". Europe/Berlin leaves summer time on
// 2026-10-25 at 03:00 (02:00-02:59 twice) and enters it on 2026-03-29 at 02:00 (skipped).
TEST(RecordPayloadTest, TheStoredDigitsAndTheTrueTime) {
    const std::vector<std::tuple<std::string, QByteArray, QByteArray, QByteArray>> rows{
        {"winter", "01-11-2026", "00:00:30", "2026-10-31T23:00:30Z"},
        {"repeated hour, first pass", "25-10-2026", "01:59:30 02:30:00", "2026-10-25T00:30:00Z"},
        {"repeated hour, one time twice", "25-10-2026", "02:30:00 02:30:00", "2026-10-25T00:30:00Z"},
        {"repeated hour, second pass", "25-10-2026", "02:30:00 02:59:30 02:00:00", "2026-10-25T01:00:00Z"},
        {"skipped hour", "29-03-2026", "02:30:00", "2026-03-29T01:30:00Z"},
        {"utc", "31-12-2026", "23:59:30", "2026-12-31T23:59:30Z"}};
    const QList<QByteArray> values{
        "+12.345", "-0.500", " No Data ", " ======= ", "+0.000", "-12345.68", "+9999.999", "+2"};
    for (const auto& [name, date, times, utc] : rows) {
        StoredTimeToUtc clock{QTimeZone(name == "utc" ? "UTC" : "Europe/Berlin")};
        QByteArray payload;
        for (const QByteArray& time : times.split(' ')) {
            const StoredRecord r = Parsed(DataLine(time, values, date));
            payload = RecordPayload("10-2026-Data.txt", 5, r, clock.ToUtc(r.localMs));
        }
        EXPECT_EQ(payload, "{\"file\":\"10-2026-Data.txt\",\"record\":5,\"time\":\"" + date.mid(6) + '-' +
                               date.mid(3, 2) + '-' + date.left(2) + 'T' + times.right(8) + "\",\"utc\":\"" +
                               utc + "\",\"values\":[12.345,-0.500,null,null,0.000,-12345.68,9999.999,2]}")
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
        {"no limits: blank, no number", "-5", "", "1e3", "-5" TAIL("null", "null", "normal")},
        {"a minimum not below the maximum", "+0.1", "5", "-0",
         "0.1" TAILX("null", "null", "normal",
                     ",\"problem\":\"Ch.1 alarm minimum 5 not below maximum -0\"")}};
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
    // The logger stores `first` in channel 1, +1.000 in the others.
    void Store(const QString& time, const QString& first = "   +1.000", const QString& date = "01-11-2026") {
        StoreScan(date, time, first, "   +1.000");
    }
};

// A script of what happens in the data folder, a read (one record at a time)
// after each step: "S [dd-mm-yyyy] hh:mm:ss" the logger stores (by default on
// 01-11-2026), "P mm-yyyy n" a file of n records is planted, "T mm-yyyy" a
// twin name with a trailing line feed, "L mm-yyyy" a link, "F mm-yyyy" a FIFO,
// "M a b" renamed, "restart" through the state file. `said`: a part of what
// the feed said; empty, nothing at all.
struct FeedCase {
    const char* name;
    QString steps, said;
};

class RecordFeedScript : public RecordFeedTest, public ::testing::WithParamInterface<FeedCase> {};

TEST_P(RecordFeedScript, EveryStoredRecordIsReadAndNothingElse) {
    const QString folder = DataPath({}).chopped(1), statePath = state.AppFolder + "/state";
    const auto file = [&](const QString& month) { return DataPath(month + "-Data.txt"); };
    QDir().mkpath(folder);
    auto feed = std::make_unique<RecordFeed>(folder);
    QSet<QString> stored, read;
    QStringList said;
    for (const QString& step : GetParam().steps.split(", ")) {
        const QStringList w = step.split(' ');
        if (const QString date = w.size() > 2 ? w[1] : "01-11-2026"; w[0] == "S") {
            Store(w.back(), "   +1.000", date);
            stored += DataFileName(date) + ':' +
                      QString::number(ReadBytes(DataPath(DataFileName(date))).size() / DataRecordLength - 1);
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
            ASSERT_TRUE(SaveState(statePath, {feed->Position(), {}, {}}, &error)) << qPrintable(error);
            const std::optional<PublishState> saved = LoadState(statePath, &error);
            ASSERT_TRUE(saved) << qPrintable(error);
            EXPECT_EQ(saved->records, feed->Position());
            feed = std::make_unique<RecordFeed>(folder);
            feed->SeekAfter(saved->records);
        }
        std::vector<FedRecord> records;
        for (std::size_t before = 1; before != records.size();)
            before = records.size(), feed->Read(1, records);
        for (const FedRecord& r : records)
            read += r.file + ':' + QString::number(r.position.number);
        said += feed->TakeNotes();
    }
    stored.remove({});
    EXPECT_EQ(QSet<QString>(read).subtract(stored), QSet<QString>()) << "read, never stored";
    EXPECT_EQ(stored.subtract(read), QSet<QString>()) << "stored, never read";
    const QString& part = GetParam().said;
    EXPECT_TRUE(part.isEmpty() ? said.isEmpty() : said.join('\n').contains(part))
        << qPrintable(said.join('\n'));
}

QString TwoYearsOfMonths() {
    QStringList steps;
    for (int m = 0; m < 24; ++m)
        steps += QStringLiteral("P %1-%2 1").arg(m % 12 + 1, 2, 10, QChar('0')).arg(2025 + m / 12);
    return steps.join(", ");
}

INSTANTIATE_TEST_SUITE_P(
    Publish, RecordFeedScript,
    ::testing::Values(
        FeedCase{"cut", "S 00:00:00, S 00:00:30, restart, P 11-2026 1",
                 "holds 1 records, fewer than the 2 sent; sending the file again from its start"},
        FeedCase{"replaced", "S 00:00:00, S 00:00:30, P 11-2026 2",
                 "record 2 is no longer the one sent; sending the file again from its start"},
        FeedCase{"clock_set_back",
                 "S 30-11-2026 23:59:00, S 01-12-2026 00:00:00, restart, "
                 "S 30-11-2026 23:59:30, restart, S 30-11-2026 23:59:45",
                 {}},
        FeedCase{"planted_future_file",
                 "S 00:00:00, P 12-2099 0, S 00:00:30, restart, P 12-2099 1, S 00:01:00",
                 "12-2099-Data.txt: is dated after next month"},
        FeedCase{"next_months_file_no_surprise",
                 "P " + QDate::currentDate().addMonths(1).toString("MM-yyyy") + " 3",
                 {}},
        FeedCase{"line_feed_twin", TwoYearsOfMonths() + ", T 12-2026, restart, S 15-12-2026 00:00:00", {}},
        FeedCase{"link_in_place_of_the_file_read",
                 "S 00:00:00, M 11-2026 keep, L 11-2026, S 01-12-2026 00:00:00, "
                 "restart, M 11-2026 gone, M keep 11-2026, S 00:00:30",
                 "11-2026-Data.txt: cannot open (is a symbolic link); its records are not sent"},
        FeedCase{"fifo_and_a_file_archived",
                 "S 00:00:00, F 10-2026, M 11-2026 archived, S 01-12-2026 00:00:00, "
                 "restart, S 01-12-2026 00:00:30",
                 "10-2026-Data.txt: cannot open"}),
    RowName);

// A state file read (then written again, the owner's only), or refused saying
// how to recover.
TEST_F(RecordFeedTest, AStateFileIsReadWrittenOrRefusedSayingHowToRecover) {
    const QString path = state.AppFolder + "/state",
                  bad = "is not a state file of tarvek-publish; remove it to start again as `start` says";
    const QByteArray head = "tarvek-publish state 4\nutc=", noEvents = "\nevents=\nnotified=\n";
    const std::vector<std::tuple<const char*, QByteArray, QString>> rows{
        {"positions", head + "5" + noEvents + "10-2026-Data.txt 7 \n11-2026-Data.txt 0 \n",
         "10-2026-Data.txt=7 11-2026-Data.txt=0 utc=5"},
        {"each event log",
         head + "\nevents=11-2026-Events.txt 3 12-2026-Events.txt 9\nnotified=12-2026-Events.txt 8\n",
         "utc=-1 11-2026-Events.txt:3 12-2026-Events.txt:9 12-2026-Events.txt:8"},
        {"link", "link", "is a symbolic link; remove it to start again as `start` says"},
        {"an older layout", "tarvek-publish state 3\nutc=5" + noEvents, bad},
        {"no record bytes", head + noEvents + "10-2026-Data.txt 7\n", bad},
        {"no time line", "tarvek-publish state 4\nutc:" + noEvents, bad},
        {"time no number", head + "x" + noEvents, bad},
        {"events place damaged", head + "\nevents=12-2026-Events.txt x\nnotified=\n", bad},
        {"a log without its number", head + "\nevents=12-2026-Events.txt\nnotified=\n", bad},
        {"events of no log", head + "\nevents=nolog 9\nnotified=\n", bad},
        {"no notified line", head + "\nevents=\n", bad},
        {"negative record", head + noEvents + "11-2026-Data.txt -1 \n", bad},
        {"a file twice", head + noEvents + "11-2026-Data.txt 1 \n11-2026-Data.txt 2 \n", bad},
        {"no month file", head + noEvents + "notes.txt 1 \n", bad},
        {"record bytes cut", head + noEvents + "11-2026-Data.txt 1 " + QByteArray(80, 'x').toBase64() + "\n",
         bad},
        {"no line end", head, bad}};
    for (const auto& [name, text, outcome] : rows) {
        QFile::remove(path);
        if (text != "link")
            WriteBytes(path, text);
        else
            WriteBytes(path + ".real", StateText({})),
                ::symlink(qPrintable(path + ".real"), qPrintable(path));
        QString error, read;
        const std::optional<PublishState> loaded = LoadState(path, &error);
        if (loaded) {
            for (const auto& [file, at] : loaded->records.files)
                read += file + '=' + QString::number(at.number) + ' ';
            read += "utc=" + QString::number(loaded->records.utcMs.value_or(-1));
            for (const EventPosition& at : {loaded->events, loaded->notified})
                for (const auto& [log, record] : at.logs)
                    read += ' ' + log + ':' + QString::number(record);
            EXPECT_TRUE(SaveState(path, *loaded, &error) && ReadBytes(path) == text) << name;
            EXPECT_EQ(QFileInfo(path).permissions() & 0x0077, 0) << "the owner's only";
        }
        EXPECT_EQ(loaded ? read : error.mid(path.size() + 2), outcome) << name;
    }
}

// Each row: `start`, then the position in each month file and event log.
TEST_F(RecordFeedTest, AFirstRunStartsWhereStartSays) {
    for (const auto& [time, date] :
         {std::pair("23:59:30", "31-10-2026"), std::pair("00:00:00", "01-11-2026"),
          std::pair("00:00:30", "01-11-2026"), std::pair("00:00:00", "01-12-2026")})
        Store(time, "   +1.000", date);
    ASSERT_TRUE(AppendEvents(DataPath("11-2026-Events.txt"),
                             {EventOf("01-11-2026", "00:00:00", "HIGH", 1, "RAISED"),
                              EventOf("01-11-2026", "00:00:30", "LOW", 2, "RAISED")}));
    ASSERT_TRUE(AppendEvents(DataPath("12-2026-Events.txt"),
                             {EventOf("01-12-2026", "00:00:00", "HIGH", 1, "CLEARED")}));
    const std::vector<std::tuple<const char*, StartFrom, QString>> rows{
        {"new", {StartFrom::New, 0}, "10-2026=1 11-2026=2 12-2026=1 / 11-2026=2 12-2026=1"},
        {"all", {StartFrom::All, 0}, "/"},
        {"at a record",
         {StartFrom::Time, *ParseStoredTime("2026-11-01T00:00:30")},
         "10-2026=1 11-2026=1 12-2026=0 / 11-2026=1"}};
    for (const auto& [name, start, expected] : rows) {
        const std::optional<RecordPosition> records = StartingPosition(DataPath({}).chopped(1), start);
        const std::optional<EventPosition> events = StartingEventPosition(DataPath({}).chopped(1), start);
        ASSERT_TRUE(records && events) << name;
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
    auto* at = reinterpret_cast<sockaddr*>(&a);
    socklen_t length = sizeof a;
    const bool ok = port ? ::connect(s, at, length) == 0
                         : ::bind(s, at, length) == 0 && ::getsockname(s, at, &length) == 0;
    ::close(s);
    return port ? ok : ntohs(a.sin_port);
}
const auto FreePort = [] { return OnLoopback(0); };

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

// The summary lines of the mails that a notify_command of `tee -a FILE` kept:
// each begins with its time, or its count for a summary.
QStringList MailLines(const QString& file) {
    return QString::fromUtf8(ReadBytes(file)).split(u'\n').filter(QRegularExpression("^\\d"));
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

constexpr auto OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A broker on 127.0.0.1 with a user "tarvek" (password "secret"), a plain and
// a TLS listener, and persistence saved each second; as root it runs as its own
// user, so its folder is readable (and its store writable) to everyone.
struct Broker {
    QTemporaryDir dir;
    int port = FreePort(), tlsPort = FreePort();
    QProcess process;

    QString Path(const char* name) const { return dir.path() + u'/' + QLatin1StringView(name); }
    Broker() {
        const QStringList cert =
            QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                           "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1")
                .split(u' ');
        RunTool("openssl", cert + QStringList{"-keyout", Path("key.pem"), "-out", Path("cert.pem")});
        RunTool("openssl", cert + QStringList{"-keyout", Path("otherkey.pem"), "-out", Path("otherca.pem")});
        RunTool("mosquitto_passwd", {"-b", "-c", Path("passwd"), "tarvek", "secret"});
        WriteBytes(Path("password"), "secret\n"), WriteBytes(Path("wrong"), "guess\n");
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        for (const char* name : {"key.pem", "cert.pem", "passwd"})
            QFile::setPermissions(Path(name), OwnerOnly | QFileDevice::ReadOther);
        QFile::setPermissions(Path("password"), OwnerOnly), QFile::setPermissions(Path("wrong"), OwnerOnly);
    }
    // False when the broker ended instead (a port was taken meanwhile).
    bool Start() {
        WriteBytes(Path("mosquitto.conf"),
                   QStringLiteral("per_listener_settings false\nallow_anonymous false\npassword_file %1\n"
                                  "persistence true\npersistence_location %2/\nautosave_interval 1\n"
                                  "max_queued_messages 0\nlog_dest none\nlistener %3 127.0.0.1\n"
                                  "listener %4 127.0.0.1\ncertfile %5\nkeyfile %6\n")
                       .arg(Path("passwd"), dir.path(), QString::number(port), QString::number(tlsPort),
                            Path("cert.pem"), Path("key.pem"))
                       .toUtf8());
        QFile::setPermissions(Path("mosquitto.conf"), OwnerOnly | QFileDevice::ReadOther);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start("mosquitto", {"-c", Path("mosquitto.conf")});
        const auto ended = [&] { return process.state() != QProcess::Running; };
        return process.waitForStarted() &&
               WaitUntil([&] { return ended() || (OnLoopback(port) && OnLoopback(tlsPort)); }, 5000) &&
               !ended();
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
        for (int attempt = 0; attempt < 3 && !broker_->Start(); ++attempt)
            broker_->port = FreePort(), broker_->tlsPort = FreePort();
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
        for (QProcess* p : {&publisher_, &second_, &third_, &subscriber_})
            if (p->state() != QProcess::NotRunning)
                p->kill(), p->waitForFinished();
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
    static QString Login(const char* file = "password") { return "password_file = " + broker_->Path(file); }
    // The options of a mosquitto client of the plain listener.
    static QStringList Client() {
        return {"-h", "127.0.0.1", "-p", QString::number(broker_->port), "-u", "tarvek", "-P", "secret"};
    }
    // SIGTERM ends a publisher within two seconds, with exit status 0.
    static bool EndsOnTerm(QProcess& p) {
        p.terminate();
        return p.waitForFinished(2000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // Starts a publisher, `environment` ("NAME=value") added to the test's own.
    static void StartPublisher(QProcess& p, const QString& config, const QStringList& more = {},
                               const QStringList& environment = {}) {
        p.setEnvironment(QProcess::systemEnvironment() + environment);
        p.start(TARVEK_PUBLISH, QStringList{"--config", config} + more);
        ASSERT_TRUE(p.waitForStarted());
    }
    // Subscribes (QoS 1) to the records as the persistent client "plant",
    // which gets what was queued for it while away.
    void Subscribe(const QString& topic = "record") {
        received_.clear(); // what arrives after a resumed session's CONNACK, SUBACK or not, counts
        subscriber_.start("stdbuf",
                          QStringList{"-oL", "mosquitto_sub"} + Client() +
                              QStringList{"-q", "1", "-c", "-i", "plant", "-t", prefix_ + '/' + topic, "-d"});
        ASSERT_TRUE(WaitUntil(
            [&] { return received_.append(subscriber_.readAllStandardOutput()).contains("SUBACK"); }, 5000));
    }
    // The messages received so far, each a line of JSON.
    QList<QByteArray> Messages() {
        received_ += subscriber_.readAllStandardOutput();
        QList<QByteArray> lines = received_.left(received_.lastIndexOf('\n') + 1).split('\n');
        lines.removeIf([](const QByteArray& line) { return !line.startsWith("{\"file\""); });
        return lines;
    }
    // A message's file and record ("12-2026-Events.txt:3").
    static QString Place(const QByteArray& m) {
        static const QRegularExpression place(R"re(^\{"file":"([^"]+)","record":(\d+),.*)re");
        return QString(m).replace(place, "\\1:\\2");
    }
    // The records' times and first values ("00:00:30/1.000"), once `n` arrived.
    QStringList Records(int n = 0, int ms = 10'000) {
        QStringList records;
        WaitUntil([&] { return Messages().size() >= n; }, ms);
        for (const QByteArray& m : Messages())
            records += QString::fromLatin1(m.mid(m.indexOf("\"time\":") + 19, 8) + '/' +
                                           m.mid(m.indexOf('[') + 1).split(',').first());
        return records;
    }
    // The retained messages a subscriber arriving now gets.
    QStringList Retained(int count) {
        QStringList retained;
        const QByteArray out =
            RunTool("mosquitto_sub", Client() + QStringList{"-t", prefix_ + "/#", "-v", "--retained-only",
                                                            "-C", QString::number(count), "-W", "3"});
        for (const QByteArray& line : out.split('\n'))
            if (!line.isEmpty())
                retained += QString::fromUtf8(line.mid(prefix_.size() + 1));
        retained.sort();
        return retained;
    }

    static inline Broker* broker_ = nullptr;
    QString prefix_;
    QProcess publisher_, second_, third_, subscriber_;
    QByteArray received_;
};

TEST_F(PublishBroker, RecordsArriveInOrderWithinASecondAndRetainedValuesWait) {
    Store("00:00:00", "  +12.345");
    Store("00:00:30", "   -0.500");
    Store("00:01:00", " No Data ");
    // Channel 3 was active once: the broker keeps its value until the publisher removes it.
    RunTool("mosquitto_pub",
            Client() + QStringList{"-q", "1", "-r", "-t", prefix_ + "/channel/3", "-m", "{\"value\":1.5}"});
    Subscribe();
    StartPublisher(publisher_, Config(Login()));
    EXPECT_EQ(Records(3), QStringList({"00:00:00/12.345", "00:00:30/-0.500", "00:01:00/null"}));
    Store("00:01:30", "+10000.50");
    EXPECT_EQ(Records(4, 1000).value(3), "00:01:30/10000.50") << "a stored record arrives within a second";

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

// Publishers side by side, each refused or held up in its own way, and each
// but the one run --once still up: each says so once. The data folder appears
// after each has looked for it: the verified TLS session sends what is stored
// in it. A name server that never answers holds up no stop.
TEST_F(PublishBroker, FailuresAreSaidOnceAndThePublisherStaysUp) {
    const QString tls = "tls = yes\n" + Login() + "\ncafile = ";
    const QStringList lookup{"LD_PRELOAD=" TARVEK_STALLED_LOOKUP,
                             "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") +
                                 ":verify_asan_link_order=0"};
    QProcess &wrongPassword = second_, &wrongCa = third_, stalled, unknown;
    StartPublisher(wrongPassword, Config(Login("wrong"), "wrong"));
    StartPublisher(wrongCa, Config(tls + broker_->Path("otherca.pem"), "otherca", broker_->tlsPort));
    StartPublisher(publisher_, Config(tls + broker_->Path("cert.pem"), "tls", broker_->tlsPort));
    StartPublisher(stalled, Config("", "stalled", 0, "stalled.invalid"), {}, lookup);
    StartPublisher(unknown, Config("", "unknown", 0, "unknown.invalid"), {"--once", "--timeout", "1"},
                   lookup);
    Subscribe();
    std::map<QProcess*, QString> said;
    for (QProcess* p : {&wrongPassword, &wrongCa, &publisher_, &stalled, &unknown})
        ASSERT_TRUE(
            WaitUntil([&] { return (said[p] += p->readAllStandardError()).contains("does not exist"); }));
    Store("00:00:00", "   +7.250");
    EXPECT_EQ(Records(1, 3000), QStringList({"00:00:00/7.250"}));
    QThread::msleep(1500); // the next attempt of the refused ones
    for (QProcess* p : {&wrongPassword, &wrongCa, &publisher_, &stalled}) {
        EXPECT_EQ(p->state(), QProcess::Running);
        EXPECT_TRUE(EndsOnTerm(*p));
        said[p] += p->readAllStandardError();
    }
    EXPECT_EQ(Retained(3).last(), "status offline") << "said on a clean end";
    ASSERT_TRUE(unknown.waitForFinished(5000));
    const QString broker = QStringLiteral("the broker 127.0.0.1:%1 "),
                  missing = "tarvek-publish: " + DataPath({}).chopped(1) +
                            ": the data folder does not exist; waiting for it\n";
    EXPECT_EQ(
        said[&wrongPassword],
        "tarvek-publish: " + broker_->Path("wrong") +
            ": the password goes to the broker 127.0.0.1 without TLS, readable on the network\n" + missing +
            "tarvek-publish: not authorised: " + broker.arg(broker_->port) +
            "refuses the user \"tarvek\" (Connection Refused: not authorised.); trying again every 60 s\n");
    const QString refused = said[&wrongCa].remove(missing);
    EXPECT_TRUE(refused.startsWith("tarvek-publish: TLS with " + broker.arg(broker_->tlsPort) + "failed (") &&
                refused.contains("certificate verify failed") &&
                refused.contains("no connection without TLS is tried") && refused.count('\n') == 1)
        << "said once, not at every try: " << qPrintable(refused);
    EXPECT_EQ(said[&publisher_],
              missing + "tarvek-publish: connected to " + broker.arg(broker_->tlsPort).trimmed() + "\n");
    EXPECT_EQ(said[&stalled], missing);
    EXPECT_EQ(QString(said[&unknown] + unknown.readAllStandardError()).remove(missing).section('\n', 0, 0),
              "tarvek-publish: cannot reach the broker unknown.invalid:" + QString::number(broker_->port) +
                  " (Lookup error.); trying again after 1 s, then waits doubling up to 60 s");
}

// Europe/Berlin: 02:00-02:59 comes twice, first in summer time; a restart
// after the second pass keeps to it.
TEST_F(PublishBroker, ARestartInTheRepeatedHourKeepsTheTrueTime) {
    Subscribe();
    for (const QStringList& times :
         {QStringList{"02:30:00", "02:59:30", "02:00:00", "02:30:00"}, QStringList{"02:45:00"}}) {
        for (const QString& time : times)
            Store(time, "   +1.000", "25-10-2026");
        StartPublisher(publisher_, Config(Login()), {"--once"}, {"TZ=Europe/Berlin"});
        ASSERT_TRUE(publisher_.waitForFinished(10'000));
    }
    ASSERT_EQ(Records(5).size(), 5);
    EXPECT_TRUE(received_.contains("\"time\":\"2026-10-25T02:45:00\",\"utc\":\"2026-10-25T01:45:00Z\""))
        << received_.constData();
}

// Two publishers with one client id take the session from each other: said.
TEST_F(PublishBroker, TwoPublishersWithOneClientIdAreToldSo) {
    StartPublisher(publisher_, Config(Login() + "\nclient_id = twin"));
    StartPublisher(second_, Config(Login() + "\nclient_id = twin", "twin"));
    QByteArray said;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return said.append(publisher_.readAllStandardError() + second_.readAllStandardError())
                .contains("another client may be using the client id \"twin\"");
        },
        20'000))
        << said.constData();
}

Event Alarm(const char* kind, int channel, const char* event,
            const QDateTime& at = QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30))) {
    return EventOf(DateStamp(at.date()), TimeText(at.time()), kind, channel, event, "  +10.700", "10.0",
                   "op1", "Boiler pressure");
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
    Subscribe("event");
    const QString config = Config(Login() + "\nnotify_command = /usr/bin/tee -a " + mail);
    StartPublisher(publisher_, config, {}, {"TZ=UTC"});
    QList<QByteArray> lines;
    const auto arrived = [&](int n) { // each event's file and record
        WaitUntil([&] { return (lines = Messages()).size() >= n; });
        QStringList places;
        for (const QByteArray& line : lines)
            places += Place(line);
        return places.join(' ');
    };
    // Acknowledged and notified, so that a restart repeats nothing.
    const auto saved = [&](const QString& logs) {
        const QByteArray text = ("\nevents=" + logs + "\nnotified=" + logs + '\n').toUtf8();
        return WaitUntil([&] { return ReadBytes(state.AppFolder + "/publish.state").contains(text); });
    };
    ASSERT_EQ(arrived(2), later + ":1 " + later + ":2");
    const QString time = now.toString("yyyy-MM-ddThh:mm:ss");
    EXPECT_EQ(QString(lines[0]),
              R"({"file":")" + later + R"(","record":1,"time":")" + time + R"(","utc":")" + time +
                  R"(Z","kind":"HIGH","channel":3,"event":"RAISED","value":10.700,"limit":10.0,)"
                  R"("user":"op1","text":"Boiler pressure"})");
    const QString alarm = R"(alarm/3 {"alarms":[{"kind":"HIGH","state":"%1","since":"%2","utc":"%2Z",)"
                          R"("value":10.700,"limit":10.0}]})";
    const QStringList retained = Retained(10);
    EXPECT_TRUE(retained.contains(alarm.arg("active-unacknowledged", time)) &&
                retained.contains(R"(alarm/1 {"alarms":[]})"))
        << qPrintable(retained.join('\n'));

    ASSERT_TRUE(AppendEvents(DataPath(earlier),
                             {Alarm("HIGH", 3, "ACKNOWLEDGED", now), Alarm("LOW", 1, "RAISED", now)}));
    EXPECT_EQ(arrived(4),
              QStringList({later + ":1", later + ":2", earlier + ":1", earlier + ":2"}).join(' '));
    EXPECT_TRUE(
        WaitUntil([&] { return Retained(10).contains(alarm.arg("active-acknowledged", time)); }, 5000));
    ASSERT_TRUE(saved(earlier + " 2 " + later + " 2"));
    ASSERT_TRUE(EndsOnTerm(publisher_));
    ASSERT_TRUE(AppendEvents(DataPath(earlier), {Alarm("LOW", 1, "CLEARED", now)}));
    StartPublisher(publisher_, config, {}, {"TZ=UTC"});
    EXPECT_EQ(arrived(5).section(' ', 4), earlier + ":3") << "nothing again";
    ASSERT_TRUE(saved(earlier + " 3 " + later + " 2"));

    subscriber_.kill(), subscriber_.waitForFinished(); // it must not take what is queued for it
    broker_->Stop();
    ASSERT_TRUE(AppendEvents(DataPath(later), {Alarm("HIGH", 3, "CLEARED", now)}));
    ASSERT_TRUE(broker_->Start());
    Subscribe("event");
    EXPECT_EQ(arrived(1), later + ":3");
    EXPECT_EQ(MailLines(mail).replaceInStrings(QRegularExpression("^\\S+ \\S+ ([^,:]*).*"), "\\1"),
              QStringList({"Ch.3 above maximum raised", "Instrument not answering raised",
                           "Ch.1 below minimum raised", "Ch.1 below minimum cleared",
                           "Ch.3 above maximum cleared"}));
}

// Each row: records or events stored (a back-fill, then `perTick` every
// 100 ms for `ticks`) while their delivery is disturbed, from tick `first`,
// `times` times: the broker stopped, killed or frozen (SIGSTOP: its socket
// open, nothing acknowledged, left by the publisher's own time-out), the
// publisher killed, or restarted while the broker is away; one more is
// stored meanwhile, and the publisher connects again within 5 s. Every one
// arrives, at least once, with at most `stepsBack` steps out of order (a
// broker's queue for the subscriber comes between) and `repeats` repeats.
struct Disruption {
    const char* name;
    enum What { StopBroker, KillBroker, FreezeBroker, KillPublisher, RestartPublisher } what;
    bool events;
    int backFill, perTick, ticks, first, times;
    bool idle; // each disturbance waits until all stored so far arrived
    int stepsBack, repeats;
};

class PublishDisrupted : public PublishBroker, public ::testing::WithParamInterface<Disruption> {
  protected:
    void Add() {
        if (!GetParam().events)
            return Store(StoredTimeText(++stored_ * 30'000).mid(11));
        ASSERT_TRUE(AppendEvents(DataPath("11-2026-Events.txt"), {Alarm("LOW", 1, "RAISED")}) && ++stored_);
    }
    void Disturb(int d) {
        const Disruption::What what = GetParam().what;
        const pid_t broker = pid_t(broker_->process.processId());
        said_ += publisher_.readAllStandardError(); // before a publisher's end
        if (what == Disruption::FreezeBroker) {
            ::kill(broker, SIGSTOP), Add();
            EXPECT_TRUE(WaitUntil([&] { return Said("no acknowledgement within 20 s") > d; }, 30'000));
            ::kill(broker, SIGCONT);
        } else if (what == Disruption::KillPublisher) {
            ::kill(publisher_.processId(), SIGKILL), publisher_.waitForFinished(), Add();
            StartPublisher(publisher_, config_);
        } else { // the subscriber stays, and reconnects
            // A broker killed keeps what it last saved (each second): the
            // subscriber's session among it, so that what comes before the
            // subscriber is back is kept for it, as a plant's broker does.
            if (what == Disruption::KillBroker)
                RunEventsFor(1500);
            what == Disruption::KillBroker ? (void)::kill(broker, SIGKILL) : broker_->Stop();
            broker_->process.waitForFinished(), Add();
            if (what == Disruption::RestartPublisher) {
                EXPECT_TRUE(EndsOnTerm(publisher_));
                StartPublisher(publisher_, config_);
                Add();
            }
            EXPECT_TRUE(broker_->Start());
        }
    }
    int Said(const char* text) { return (said_ += publisher_.readAllStandardError()).count(text); }

    QString config_;
    QByteArray said_;
    int stored_ = 0;
};

TEST_P(PublishDisrupted, EveryRecordOrEventArrives) {
    const Disruption& row = GetParam();
    QByteArray bytes = DataHeader(row.backFill);
    while (stored_ < row.backFill)
        bytes += DataLine(StoredTimeText(++stored_ * 30'000).mid(11), {}, "01-11-2026");
    WriteBytes(DataPath(row.backFill > 0 ? "11-2026-Data.txt" : "other"), bytes);
    Subscribe(row.events ? "event" : "record");
    config_ = Config(Login());
    if (row.what == Disruption::FreezeBroker) // left by the publisher's own time-out, not the keep-alive's
        WriteBytes(config_, ReadBytes(config_).replace("keepalive = 5", "keepalive = 3600"));
    StartPublisher(publisher_, config_);
    std::vector<int> numbers; // as they arrived
    std::set<int> distinct;
    const auto all = [&] { // read once each: thousands arrive
        const QList<QByteArray> messages = Messages();
        for (qsizetype i = qsizetype(numbers.size()); i < messages.size(); ++i)
            distinct.insert(numbers.emplace_back(Place(messages[i]).section(':', 1).toInt()));
        return int(distinct.size()) == stored_;
    };
    for (int tick = 0; tick < row.ticks; ++tick) {
        for (int n = 0; n < row.perTick; ++n)
            Add();
        if (const int d = tick - row.first; d >= 0 && d < row.times) {
            ASSERT_TRUE(!row.idle || WaitUntil(all)) << "before disturbance " << d;
            ASSERT_TRUE(WaitUntil([&] { return Said("connected to") > d; }, 5000)) << "connected again";
            Disturb(d);
        }
        RunEventsFor(100);
    }
    ASSERT_TRUE(WaitUntil(all, 20'000)) << numbers.size() << " of " << stored_;
    int steps = 0;
    for (std::size_t i = 1; i < numbers.size(); ++i)
        steps += numbers[i] != numbers[i - 1] + 1;
    EXPECT_LE(steps, row.stepsBack) << "in order";
    EXPECT_LE(int(numbers.size()) - stored_, row.repeats);
    EXPECT_TRUE(EndsOnTerm(publisher_));
}

// A stop follows each connection at once, so about a window arrives between
// two: the back-fill is still in flight at the tenth. A publisher killed saved
// its place at most a second before: a second and a half of the stream and
// the window in flight come again, at most.
INSTANTIATE_TEST_SUITE_P(
    Publish, PublishDisrupted,
    ::testing::Values(Disruption{"broker_stopped_10_times", Disruption::StopBroker, false, 2000, 0, 10, 0, 10,
                                 false, 2000, 2000},
                      Disruption{"broker_killed", Disruption::KillBroker, false, 2, 0, 1, 0, 1, true, 0, 0},
                      Disruption{"broker_frozen", Disruption::FreezeBroker, false, 1, 0, 1, 0, 1, true, 1, 1},
                      Disruption{"publisher_killed", Disruption::KillPublisher, true, 0, 25, 60, 40, 1, false,
                                 1, 15 * 25 + 100},
                      Disruption{"publisher_restarted_while_the_broker_is_away", Disruption::RestartPublisher,
                                 false, 1, 0, 1, 0, 1, true, 1, 1}),
    RowName);

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
    const QString failing = Config("notify_command = /bin/false", "failing", 0, "");
    StartPublisher(publisher_, failing);
    QByteArray said;
    EXPECT_TRUE(WaitUntil([&] { return said.append(publisher_.readAllStandardError()).contains("failed"); }));
    RunEventsFor(500);
    ASSERT_TRUE(EndsOnTerm(publisher_)) << "still running: " << said.constData();
    StartPublisher(publisher_, failing, {"--once"});
    ASSERT_TRUE(publisher_.waitForFinished(10'000));
    EXPECT_EQ(publisher_.exitCode(), 1);
    EXPECT_TRUE(publisher_.readAllStandardError().contains("not every alarm event was notified"));
    for (int run = 0; run < 2; ++run) {
        StartPublisher(publisher_, config, {"--once"});
        ASSERT_TRUE(publisher_.waitForFinished(10'000)) << "caught up, the batch runs at once";
        EXPECT_EQ(std::pair(publisher_.exitCode(), publisher_.readAllStandardError()),
                  std::pair(0, QByteArray()))
            << "no broker, nothing to say";
    }
    const QStringList lines = MailLines(mail);
    ASSERT_EQ(lines.size(), 2) << "one summary, one event, each once";
    EXPECT_TRUE(lines[0].startsWith("1 alarm events from ")) << qPrintable(lines[0]);
    EXPECT_EQ(lines[1], now.toString("yyyy-MM-dd hh:mm:ss") +
                            " Ch.3 above maximum raised, value 10.700, limit 10.0: Boiler pressure");
}

// Each row: what is planted beside two stored records ("away": no broker
// there, waited for a second), the exit status and a part of what was said.
struct OnceCase {
    const char* name;
    QString plant;
    int exitCode;
    QString said;
};

class PublishOnce : public PublishBroker, public ::testing::WithParamInterface<OnceCase> {};

TEST_P(PublishOnce, EndsWithWhatItCouldNotDo) {
    const QString plant = GetParam().plant, data = DataPath("11-2026-Data.txt");
    Store("00:00:00");
    Store("00:00:30");
    const QString password = broker_->Path(plant == "open_password" ? "open" : "password");
    if (plant == "not_data" || plant == "blank") { // record 1 no data record, or record 2 a blank filler
        QByteArray bytes = ReadBytes(data);
        WriteBytes(data, plant == "blank"
                             ? bytes.replace(2 * DataRecordLength, DataRecordLength, Record("", 160))
                             : bytes.replace(DataRecordLength + 20, 9, "   +1.2x4"));
    } else if (plant.startsWith("fifo")) {
        const QString fifo =
            plant == "fifo_month" ? DataPath("10-2026-Data.txt") : state.AppFolder + "/publish.state";
        ASSERT_EQ(::mkfifo(qPrintable(fifo), 0600), 0);
    } else if (plant == "open_password") {
        WriteBytes(password, "secret\n");
        QFile::setPermissions(password, OwnerOnly | QFileDevice::ReadOther);
    }
    StartPublisher(publisher_,
                   Config("password_file = " + password, "publish", plant == "away" ? FreePort() : 0),
                   plant == "away" ? QStringList{"--once", "--timeout", "1"} : QStringList{"--once"});
    ASSERT_TRUE(publisher_.waitForFinished(10'000));
    EXPECT_EQ(publisher_.exitCode(), GetParam().exitCode);
    const QString said = publisher_.readAllStandardError();
    EXPECT_TRUE(said.contains(GetParam().said)) << qPrintable(said);
}

INSTANTIATE_TEST_SUITE_P(
    Publish, PublishOnce,
    ::testing::Values(OnceCase{"not_data_record", "not_data", 1, "1 counted records are not data records"},
                      OnceCase{"blank_filler_record_and_all_sent", "blank", 0, "connected to"},
                      OnceCase{"month_file_unreadable", "fifo_month", 1, "10-2026-Data.txt cannot be read"},
                      OnceCase{"state_file_fifo", "fifo_state", 3, "is not a regular file; remove it"},
                      OnceCase{"password_open_to_others", "open_password", 0,
                               "others than its owner may read"},
                      OnceCase{"broker_away", "away", 1, "was not reached within 1 s"}),
    RowName);

} // namespace
