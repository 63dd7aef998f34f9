// The seal lines through tarvek-publish and a real broker: what a subscriber
// keeps witnesses a rewrite of the data and the seals together, a finding is
// a system alarm, sent and notified once across a restart, and the viewer's
// problems line says what the seals say of the span it shows.
#include "data/DataRecord.h"
#include "viewer/ViewerSession.h"

#include "support/SealSupport.h"

#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// Ten records stored from ten minutes ago, sealed from now on the test's clock.
class SealedFolder : public SealFolderTest {
  protected:
    void SetUp() override {
        SealFolderTest::SetUp();
        for (int n = 0; n < 10; ++n)
            StoreScan(start_.toString("dd-MM-yyyy"), start_.addSecs(30 * n).toString("hh:mm:ss"), "   +1.000",
                      "   +2.000");
        utc = start_.toMSecsSinceEpoch() + 600'000;
        Start();
    }

    QDateTime start_ = QDateTime::currentDateTimeUtc().addSecs(-600);
    QString month_ = start_.toString("MM-yyyy");
};

TEST_F(SealedFolder, ASubscriberWitnessesARewriteAndAFindingIsAnAlarmOnce) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    ASSERT_TRUE(!::bind(s, reinterpret_cast<sockaddr*>(&a), size) &&
                !::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) && !::close(s));
    const QString port = QString::number(ntohs(a.sin_port));
    QProcess broker, seals, events, publisher;
    broker.setProcessChannelMode(QProcess::MergedChannels);
    broker.start("mosquitto", {"-p", port}); // on 127.0.0.1 only, anonymous
    QByteArray said;
    ASSERT_TRUE(WaitUntil([&] { return said.append(broker.readAll()).contains("listen socket"); }));
    for (auto [p, topic] : {std::pair{&seals, "seal"}, std::pair{&events, "event"}}) {
        p->setStandardOutputFile(Path(topic));
        p->start("stdbuf",
                 {"-oL", "mosquitto_sub", "-p", port, "-q", "1", "-t", QStringLiteral("t/%1").arg(topic)});
    }
    const QString conf = "host = 127.0.0.1\nport = %1\nprefix = t\ndata = %2/datafiles\nstate = %2/state\n"
                         "start = all\nnotify_command = /usr/bin/tee -a %2/mail";
    WriteBytes(Path("publish.conf"), conf.arg(port, state.AppFolder).toUtf8());
    const auto lines = [&] { return ReadBytes(Path("seals/" + month_ + "-Seal.txt")).size() / 512; };
    const auto held = [&] { // the line numbers in what the witness keeps
        std::multiset<qint64> numbers;
        const QByteArray bytes = ReadBytes(Path("seal"));
        for (qsizetype at = 0; (at = bytes.indexOf("TARVEK-SEAL-1 ", at) + 1) > 0;)
            numbers.insert(bytes.mid(at + 25, 8).toLongLong());
        return numbers;
    };
    const auto all = [&] { return qint64(held().size()) == lines(); };
    const auto mail = [&] { return ReadBytes(Path("mail")).count("SEALED raised: CHANGED"); };
    publisher.start(TARVEK_PUBLISH, {"--config", Path("publish.conf")});
    ASSERT_TRUE(WaitUntil(all));
    QByteArray bytes = ReadBytes(Path("datafiles/" + month_ + "-Data.txt")); // as an operator might
    WriteBytes(Path("datafiles/" + month_ + "-Data.txt"), bytes.replace(3 * DataRecordLength + 25, 1, "7"));
    Pass(1000);
    ASSERT_TRUE(WaitUntil([&] { return all() && mail() == 2; })) << "a subject and a line";
    publisher.terminate();
    ASSERT_TRUE(publisher.waitForFinished(3000));
    Pass(5 * 60'000);
    ASSERT_TRUE(service->Stop());
    publisher.start(TARVEK_PUBLISH, {"--config", Path("publish.conf")});
    ASSERT_TRUE(WaitUntil(all));
    RunEventsFor(500);
    const std::multiset<qint64> numbers = held();
    EXPECT_EQ(std::set(numbers.begin(), numbers.end()).size(), numbers.size()) << "each line once";
    EXPECT_EQ(mail(), 2);
    EXPECT_EQ(ReadBytes(Path("event"))
                  .count(R"("kind":"SEALED","channel":null,"event":"RAISED","value":null,)"
                         R"("limit":null,"user":"","text":"CHANGED )" +
                         month_.toUtf8() + "-Data.txt record 3\"}"),
              1);
    EXPECT_TRUE(ReadBytes(Path("seal")).contains("\n\nTARVEK-SEAL-1 ")) << "its line feed, the tool's";
    // The span from its first record, from two minutes on (after the change) and from the last line on.
    const qint64 first = start_.toMSecsSinceEpoch() / 1000 * 1000;
    const auto viewer = [&](qint64 fromMs) {
        ViewerSession session(QTimeZone::utc());
        session.OpenData({Path("datafiles")});
        session.ShowSpan({1}, {first + fromMs, first + 20 * 60'000, TimeSpan::Utc});
        return session.Problems().filter(QRegularExpression("^Seals")).join('\n');
    };
    const QString intact = "Seals: sealed and intact up to " +
                           QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::utc()).toString("hh:mm:ss");
    EXPECT_EQ(viewer(0),
              "Seals: " + month_ + "-Data.txt: record 3 holds other bytes than sealed (bytes 26-26)");
    EXPECT_EQ(viewer(120'000), intact);
    EXPECT_EQ(viewer(utc - first), intact) << "from its last line on";

    // Root rewrites the month and seals it afresh with a new key: the machine
    // alone looks intact; what a subscriber kept says otherwise, as
    // mosquitto_sub printed it and as the historian's export holds it.
    QByteArray historian = "name,time,line\n";
    for (const QByteArray& line : ReadBytes(Path("seal")).split('\n'))
        historian += line.isEmpty() ? "" : "tarvek_seal,1796000000000000000," + line + "\r\n";
    WriteBytes(Path("historian.csv"), historian);
    service.reset();
    ASSERT_TRUE(QDir(Path("seals")).removeRecursively() && QDir(Path("keys")).removeRecursively());
    EXPECT_EQ(viewer(0), "") << "no seals folder, nothing said";
    Start();
    Pass(1000);
    ASSERT_TRUE(service->Stop());
    EXPECT_EQ(viewer(0),
              intact.chopped(8) + QDateTime::fromMSecsSinceEpoch(utc, QTimeZone::utc()).toString("hh:mm:ss"));
    for (const QString witness : {"", "seal", "historian.csv"}) {
        const FolderReport report = Verify(witness);
        EXPECT_EQ(std::pair(ExitCodeOf(report), CsvOf(report).contains(",witness-key,")),
                  std::pair(witness.isEmpty() ? 0 : 1, !witness.isEmpty()))
            << CsvOf(report).constData();
    }
}

} // namespace
