// The seal lines through tarvek-publish and a real broker: what a subscriber
// keeps witnesses a rewrite of the data and the seals together, and a finding
// is a system alarm, sent and notified once across a restart. And what the
// viewer's problems line says of the seals of the span it shows.
#include "data/DataRecord.h"
#include "data/StoredTime.h"
#include "seal/SealService.h"
#include "seal/VerifyFolder.h"
#include "viewer/ViewerSession.h"

#include "support/TestSupport.h"

#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// Ten records stored from ten minutes ago, sealed from now on a clock of the test's.
class SealedFolder : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        for (int n = 0; n < 10; ++n)
            StoreScan(start_.toString("dd-MM-yyyy"), start_.addSecs(30 * n).toString("hh:mm:ss"), "   +1.000",
                      "   +2.000");
        Seal();
    }
    QString Path(const QString& name) const { return state.AppFolder + u'/' + name; }
    void Seal() {
        Sealer::Rules rules;
        rules.zone = QTimeZone::utc();
        service_ = std::make_unique<SealService>(
            SealService::Folders{Path("datafiles"), Path("seals"), Path("keys")},
            [this] { return SealTime{utc_, 0, "UTC", QByteArray(32, 'c'), boot_, true, 1000}; }, nullptr,
            rules);
        ASSERT_TRUE(service_->Start()) << qPrintable(service_->Error());
    }
    void Pass(qint64 ms) {
        utc_ += ms, boot_ += ms;
        ASSERT_TRUE(service_->Step()) << qPrintable(service_->Error());
    }
    // The third record's value changed in place, as an operator might.
    void EditRecord3() {
        const QString data = Path("datafiles/" + month_ + "-Data.txt");
        QByteArray bytes = ReadBytes(data);
        WriteBytes(data, bytes.replace(3 * DataRecordLength + 25, 1, "7"));
    }

    QDateTime start_ = QDateTime::currentDateTimeUtc().addSecs(-600);
    QString month_ = start_.toString("MM-yyyy");
    qint64 utc_ = start_.toMSecsSinceEpoch() + 600'000, boot_ = 5'000'000;
    std::unique_ptr<SealService> service_;
};

// Each row: what happens after the sealing, and the span shown from `from`
// seconds after the first record to 20 minutes after it; what the problems
// line says of the seals ("HH:MM:SS": of the last checkpoint).
struct ViewRow {
    const char* name;
    bool edit, removeSeals;
    int from;
    const char* says;
};

class SealView : public SealedFolder, public ::testing::WithParamInterface<ViewRow> {};

TEST_P(SealView, TheProblemsLineSaysWhatTheSealsSayOfTheSpan) {
    const ViewRow& row = GetParam();
    if (row.edit)
        EditRecord3();
    Pass(1000);
    ASSERT_TRUE(service_->Stop());
    ASSERT_TRUE(!row.removeSeals || QDir(Path("seals")).removeRecursively());
    ViewerSession session(QTimeZone::utc());
    ASSERT_TRUE(session.OpenData({Path("datafiles")}));
    const qint64 first = start_.toMSecsSinceEpoch() / 1000 * 1000;
    session.ShowSpan({1}, {first + row.from * 1000, first + 20 * 60'000, TimeSpan::Utc});
    QStringList seals = session.Problems().filter(QRegularExpression("^Seals"));
    const QString last = QDateTime::fromMSecsSinceEpoch(utc_, QTimeZone::utc()).toString("hh:mm:ss");
    EXPECT_EQ(seals.join('\n'), QString(row.says).replace("HH:MM:SS", last).replace("MM-YYYY", month_));
}

INSTANTIATE_TEST_SUITE_P(
    Seals, SealView,
    ::testing::Values(ViewRow{"intact", false, false, 0, "Seals: sealed and intact up to HH:MM:SS"},
                      ViewRow{
                          "a_record_of_the_span_changed", true, false, 0,
                          "Seals: MM-YYYY-Data.txt: record 3 holds other bytes than sealed (bytes 26-26)"},
                      ViewRow{"a_record_before_the_span_changed", true, false, 120,
                              "Seals: sealed and intact up to HH:MM:SS"},
                      ViewRow{"no_seals_folder", false, true, 0, ""}),
    RowName);

class SealFeed : public SealedFolder {
  protected:
    void SetUp() override {
        SealedFolder::SetUp();
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        ASSERT_TRUE(::bind(s, reinterpret_cast<sockaddr*>(&a), length) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0);
        port_ = QString::number(ntohs(a.sin_port));
        ::close(s);
        WriteBytes(Path("mosquitto.conf"),
                   ("listener " + port_ + " 127.0.0.1\nallow_anonymous true\nlog_dest stdout\n").toUtf8());
        broker_.setProcessChannelMode(QProcess::MergedChannels);
        broker_.start("stdbuf", {"-oL", "mosquitto", "-c", Path("mosquitto.conf")});
        QByteArray said;
        ASSERT_TRUE(WaitUntil([&] { return said.append(broker_.readAll()).contains("listen socket"); }));
    }
    void TearDown() override {
        for (QProcess* p : {&publisher_, &seals_, &events_, &broker_})
            p->kill(), p->waitForFinished();
    }
    // What mosquitto_sub prints, as it is run, into `file`.
    void Subscribe(QProcess& p, const QString& topic, const QString& file) {
        p.setStandardOutputFile(Path(file));
        p.start("stdbuf", {"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", port_, "-q", "1", "-c", "-i",
                           "witness-" + topic, "-t", "t/lab3/" + topic});
        ASSERT_TRUE(p.waitForStarted());
    }
    void Publish() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TZ", "UTC");
        publisher_.setProcessEnvironment(environment);
        publisher_.start(TARVEK_PUBLISH, {"--config", Path("publish.conf")});
        ASSERT_TRUE(publisher_.waitForStarted());
    }
    // The line numbers of the seal lines in `file`, as a witness reads them.
    std::multiset<qint64> Held(const QString& file) {
        std::multiset<qint64> held;
        const QByteArray bytes = ReadBytes(Path(file));
        for (qsizetype at = bytes.indexOf("TARVEK-SEAL-1 "); at >= 0;
             at = bytes.indexOf("TARVEK-SEAL-1 ", at + 1))
            held.insert(bytes.mid(at + 26, 8).toLongLong());
        return held;
    }
    qint64 Lines() const { return ReadBytes(Path("seals/" + month_ + "-Seal.txt")).size() / 512; }
    std::set<QByteArray> Found(const QString& witness) {
        std::set<QByteArray> found;
        for (const MonthReport& m :
             VerifyFolder({Path("datafiles"), Path("seals"), {}, {}, witness, utc_, QTimeZone::utc()}).months)
            for (const Finding& f : m.findings)
                if (f.severity != Finding::Severity::Note)
                    found.insert(f.what);
        return found;
    }

    QString port_;
    QProcess broker_, publisher_, seals_, events_;
};

TEST_F(SealFeed, ASubscriberWitnessesARewriteAndAFindingIsAnAlarmOnce) {
    Subscribe(seals_, "seal", "witness.txt");
    Subscribe(events_, "event", "events.txt");
    WriteBytes(Path("publish.conf"), ("host = 127.0.0.1\nport = " + port_ + "\nprefix = t/lab3\ndata = " +
                                      Path("datafiles") + "\nstate = " + Path("state") +
                                      "\nstart = all\n"
                                      "notify_command = /usr/bin/tee -a " +
                                      Path("mail") + '\n')
                                         .toUtf8());
    Publish();
    ASSERT_TRUE(WaitUntil([&] { return qint64(Held("witness.txt").size()) == Lines(); }));

    EditRecord3();
    Pass(1000);
    const QString alarm = R"("kind":"SEALED","channel":null,"event":"RAISED",)"
                          R"("value":null,"limit":null,"user":"","text":"CHANGED %1-Data.txt record 3"})";
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(Path("events.txt")).contains(alarm.arg(month_).toUtf8()); }))
        << ReadBytes(Path("events.txt")).constData();
    ASSERT_TRUE(WaitUntil([&] { return qint64(Held("witness.txt").size()) == Lines(); }));
    ASSERT_TRUE(WaitUntil([&] { return ReadBytes(Path("mail")).contains("SEALED raised: CHANGED"); }));
    publisher_.terminate();
    ASSERT_TRUE(publisher_.waitForFinished(3000));
    Pass(5 * 60'000);
    ASSERT_TRUE(service_->Stop());
    Publish();
    ASSERT_TRUE(WaitUntil([&] { return qint64(Held("witness.txt").size()) >= Lines(); }));
    RunEventsFor(500);
    const std::multiset<qint64> held = Held("witness.txt");
    EXPECT_EQ(qint64(std::set(held.begin(), held.end()).size()), Lines());
    EXPECT_EQ(qint64(held.size()), Lines()) << "nothing twice";
    EXPECT_EQ(ReadBytes(Path("mail")).count("SEALED raised: CHANGED"), 2) << "a subject and a line, once";
    EXPECT_EQ(ReadBytes(Path("events.txt")).count("\"kind\":\"SEALED\""), 1);
    EXPECT_TRUE(ReadBytes(Path("witness.txt")).startsWith("TARVEK-SEAL-1 "));
    EXPECT_TRUE(ReadBytes(Path("witness.txt")).contains("\n\nTARVEK-SEAL-1 ")) << "its line feed, the tool's";

    // Root rewrites the month and seals it afresh with a new key: the
    // machine alone looks intact; what a subscriber kept says otherwise, as
    // mosquitto_sub printed it and as the historian's export holds it.
    const QList<QByteArray> kept = ReadBytes(Path("witness.txt")).split('\n');
    QByteArray historian = "name,time,line\n";
    for (const QByteArray& line : kept)
        if (!line.isEmpty())
            historian += "tarvek_seal,1796000000000000000," + line + "\r\n";
    WriteBytes(Path("historian.csv"), historian);
    service_.reset();
    for (const char* folder : {"seals", "keys"})
        ASSERT_TRUE(QDir(Path(folder)).removeRecursively());
    Seal();
    Pass(1000);
    ASSERT_TRUE(service_->Stop());
    EXPECT_EQ(Found({}), std::set<QByteArray>{});
    EXPECT_EQ(Found(Path("witness.txt")), std::set<QByteArray>{"witness-key"});
    EXPECT_EQ(Found(Path("historian.csv")), std::set<QByteArray>{"witness-key"});
}

} // namespace
