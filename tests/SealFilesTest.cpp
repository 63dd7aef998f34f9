// The sealer and tarvek-verify on real files: a month stored by the logger's
// own writer, sealed, then edited as an operator or root would.
#include "common/TextHelpers.h"
#include "data/ElaborationData.h"
#include "data/StoredTime.h"
#include "seal/SealChain.h"

#include "support/SealSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <sys/stat.h>

using namespace tarvek;

namespace {

constexpr qint64 Record = 160;
const QString DataName = "datafiles/12-2026-Data.txt", SealName = "seals/12-2026-Seal.txt";
const qint64 NewYear = *ParseStoredTime("2027-01-01T00:00:10");

// Forty records and two events, sealed; the rows' edits reach in as the test does.
class SealedMonth : public SealFolderTest {
  public:
    void SetUp() override {
        SealFolderTest::SetUp();
        StoreRecords(0, 40);
        ASSERT_TRUE(AppendEvents(
            Path("datafiles/12-2026-Events.txt"),
            {EventOf("08-12-2026", "10:05:00", "HIGH", 1, "RAISED", "   +3.000", "2.5", "op1", "Boiler"),
             EventOf("08-12-2026", "10:09:30", "HIGH", 1, "CLEARED", "   +2.000", "2.5", "op1")}));
        utc = *ParseStoredTime("2026-12-08T10:20:30");
        Start();
        Pass(60'000);
    }
    void Store(QTime time, int n, const QString& date = "08-12-2026") {
        StoreScan(date, TimeText(time), ValueText(n / 4.0), ValueText(1.0));
    }
    void StoreRecords(int from, int to) { // 30 seconds apart from 10:00
        for (int n = from; n < to; ++n)
            Store(QTime(10, 0).addSecs(30 * n), n);
    }
    // The findings by their word, a note's led by "note:".
    static std::set<QByteArray> Found(const FolderReport& report) {
        std::set<QByteArray> found;
        for (const MonthReport& m : report.months)
            for (const Finding& f : m.findings)
                found.insert((f.severity == Finding::Severity::Note ? "note:" : "") + f.what);
        return found;
    }
    // Rewrites the file as `how` changes its bytes.
    void Change(const QString& name, const std::function<void(QByteArray&)>& how) {
        QByteArray file = ReadBytes(Path(name));
        how(file);
        WriteBytes(Path(name), file);
    }
    // Changes `bytes` of the file from `at` on, in place.
    void Edit(const QString& name, qint64 at, const QByteArray& bytes) {
        Change(name, [&](QByteArray& file) { file.replace(at, bytes.size(), bytes); });
    }
    // The data file cut to its first `records` records, the count record one of them.
    void Keep(qint64 records) {
        Change(DataName, [&](QByteArray& file) { file.truncate(records * Record); });
    }
    void Remove(const QStringList& names) {
        for (const QString& n : names)
            QDir(Path(n)).exists() ? QDir(Path(n)).removeRecursively() : QFile::remove(Path(n));
    }
    // The sealer down (after its Stop line when `stopped`, else as if killed)
    // while `meanwhile` runs, and started again `ms` later.
    void Down(bool stopped, const std::function<void()>& meanwhile, qint64 ms = 60'000) {
        ASSERT_TRUE(!stopped || service->Stop());
        service.reset();
        if (meanwhile)
            meanwhile();
        utc += ms, boot += ms;
        Start();
    }
};
using Month = SealedMonth;

struct PlantRow {
    const char* name;
    std::function<void(Month&)> plant;
    bool sealerLooks;           // the sealer runs on after the edit (else it is down)
    bool witness;               // checked against the lines a subscriber kept before the edit
    std::set<QByteArray> found; // the findings verify must report, and no others
};

class PlantedEdits : public SealedMonth, public ::testing::WithParamInterface<PlantRow> {};

TEST_P(PlantedEdits, EachFoundAndNamed) {
    const PlantRow& row = GetParam();
    WriteBytes(Path("witness.txt"), ReadBytes(Path(SealName)));
    QThread::msleep(20); // the edit's change time differs from the last store's
    row.plant(*this);
    if (row.sealerLooks) {
        Pass(1000);
        ASSERT_TRUE(service->Stop());
    }
    const FolderReport report = Verify(row.witness ? "witness.txt" : "");
    EXPECT_EQ(Found(report), row.found) << qPrintable(QString::fromUtf8(CsvOf(report)));
    EXPECT_EQ(ExitCodeOf(report),
              std::ranges::any_of(row.found, [](auto& w) { return !w.startsWith("note:"); }));
    for (const MonthReport& m : report.months)
        for (const Finding& f : m.findings)
            EXPECT_TRUE(!row.sealerLooks || !f.firstSeen.startsWith("not"))
                << "the sealer saw " << f.what.data();
}

// Rewrites the data file as root would once the sealer is stopped: record 5 edited.
void RootEdits(Month& m, const QStringList& remove) {
    m.Down(false, [&] {
        m.Remove(remove);
        m.Edit(DataName, 5 * Record + 25, "9");
    });
}

INSTANTIATE_TEST_SUITE_P(
    Month, PlantedEdits,
    ::testing::ValuesIn(std::vector<PlantRow>{
        {"NothingChanged", [](Month&) {}, true, true, {}},
        {"TailCutByOne", [](Month& m) { m.Keep(40); }, true, false, {"cut", "count"}},
        {"TailCutByTen", [](Month& m) { m.Keep(31); }, false, false, {"cut", "count"}},
        {"CutToTheCountRecord", [](Month& m) { m.Keep(1); }, true, false, {"cut"}},
        {"FileRemoved", [](Month& m) { m.Remove({DataName}); }, true, false, {"removed"}},
        {"BackdatedRecordInsertedInTheMiddle",
         [](Month& m) {
             m.Change(DataName, [](QByteArray& f) {
                 f.insert(20 * Record, f.mid(20 * Record, Record).replace(17, 2, "15"));
             });
         },
         true, false, {"inserted"}},
        {"AppendedWithAnOldTime", [](Month& m) { m.Store(QTime(9, 0), 1); }, true, false, {"backdated"}},
        {"TwoAppendedUnsealedTheLastWithAnOldTime",
         [](Month& m) { m.Store(QTime(10, 30), 40), m.Store(QTime(9, 0), 41); }, false, false, {"backdated", "note:not-sealed"}},
        {"ChangedWithItsTimeSetBack",
         [](Month& m) {
             struct stat st {};
             ASSERT_EQ(::stat(qPrintable(m.Path(DataName)), &st), 0);
             m.Edit(DataName, 12 * Record + 25, "8");
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, qPrintable(m.Path(DataName)), times, 0), 0);
         },
         true, false, {"changed"}},
        {"CountEdited", [](Month& m) { m.Edit(DataName, 14, "   12"); }, false, false, {"count"}},
        {"TwoRecordsSwapped",
         [](Month& m) {
             m.Change(DataName, [](QByteArray& f) {
                 const QByteArray third = f.mid(3 * Record, Record);
                 f.replace(3 * Record, Record, f.mid(30 * Record, Record)).replace(30 * Record, Record, third);
             });
         },
         true, false, {"swapped"}},
        {"EventRecordEdited", [](Month& m) { m.Edit("datafiles/12-2026-Events.txt", 67, "op2"); }, true, false,
         {"changed"}},
        {"SealLineEdited", [](Month& m) { m.Edit(SealName, 2 * 512 + 60, "9"); }, false, false, {"seal-edited"}},
        {"SealLineRemoved", [](Month& m) { m.Change(SealName, [](QByteArray& f) { f.remove(2 * 512, 512); }); },
         false, false, {"seal-missing"}},
        {"LineCutOffByAPowerCut",
         [](Month& m) { m.Down(false, [&] { m.Change(SealName, [](QByteArray& f) { f.chop(100); }); }); }, true,
         false, {"seal-torn", "note:restart"}},
        {"SealFileMadeButNeverWritten",
         [](Month& m) { m.Down(false, [&] { WriteBytes(m.Path("seals/11-2026-Seal.txt"), {}); }); }, true,
         false, {"note:restart"}},
        {"LineSignedByAForeignKey",
         [](Month& m) {
             m.Change(SealName, [](QByteArray& f) {
                 SealLine line = *ParseLine(f.right(512));
                 ++line.sequence;
                 f += FormatLine(line, SealKey::Generate());
             });
         },
         false, false, {"foreign-key"}},
        {"DataAndSealsRewrittenWithTheStolenKey",
         [](Month& m) { RootEdits(m, {SealName, "seals/12-2026-Data.sealed", "seals/12-2026-Events.sealed"}); },
         true, true, {"fork"}},
        {"DataSealsAndKeysReplaced", [](Month& m) { RootEdits(m, {"seals", "keys"}); }, true, true,
         {"witness-key"}},
        {"SealerKilledAndRestarted", [](Month& m) { m.Down(false, [&] { m.StoreRecords(40, 43); }, 20 * 60'000); },
         true, false, {"gap"}},
        {"SealerKilledNotBack", [](Month& m) { m.service.reset(), m.utc += 20 * 60'000; }, false, false, {"gap"}},
        {"KeyLost", [](Month& m) { m.Down(true, [&] { m.Remove({"keys"}); }); }, true, false,
         {"key-discontinuity"}},
        {"MonthClosedWhileTheSealerWasDown",
         [](Month& m) {
             m.Down(true, {}, NewYear - m.utc);
             m.Store(QTime(0, 0, 30), 1, "01-01-2027");
         },
         true, false, {}},
        {"OldKeySignsAfterTheClose",
         [](Month& m) {
             QByteArray seed;
             m.Down(true, [&] { seed = ReadBytes(m.Path("keys/current.key")).trimmed().split(' ')[2]; },
                    NewYear - m.utc);
             ASSERT_TRUE(m.service->Stop());
             m.Change("seals/01-2027-Seal.txt", [&](QByteArray& f) {
                 SealLine line = *ParseLine(f.right(512));
                 line.head = LineStep(line.head, SignedPart(f.right(512)));
                 ++line.sequence;
                 f += FormatLine(line, *SealKey::FromSeed(QByteArray::fromBase64(seed)));
             });
         },
         false, false, {"key-period"}}}),
    RowName);

TEST_F(SealedMonth, EveryByteOfARecordFlippedIsFoundAtItsRecord) {
    service.reset();
    const QByteArray file = ReadBytes(Path(DataName));
    for (qsizetype b = 0, at = 7 * Record; b < Record; ++b, ++at) {
        QByteArray edited = file;
        edited[at] = char(edited[at] ^ 0x01);
        WriteBytes(Path(DataName), edited);
        const FolderReport report = Verify();
        ASSERT_EQ(Found(report), std::set<QByteArray>{"changed"}) << "byte " << b;
        const Finding& f = report.months.front().findings.front(); // with the bytes before and now
        EXPECT_EQ(std::pair(f.record, f.sealed + f.now),
                  std::pair(qint64(7), QString(QLatin1Char(file[at])) + QLatin1Char(edited[at])));
    }
}

// A finding is dated by the sealer's line that saw its record change, not
// by one that saw the record before it change.
TEST_F(SealedMonth, AFindingIsDatedByTheLineThatSawItsRecordChange) {
    const QByteArray record12 = ReadBytes(Path(DataName)).mid(12 * Record, Record);
    Edit(DataName, 12 * Record + 25, "8");
    Pass(1000);
    const qint64 linesBefore = ReadBytes(Path(SealName)).size() / 512;
    Edit(DataName, 12 * Record, record12), Edit(DataName, 13 * Record + 25, "8"); // 12 put back, 13 changed
    Pass(1000);
    ASSERT_TRUE(service->Stop());
    const std::vector<Finding> findings = Verify().months.at(0).findings;
    const auto f = std::ranges::find(findings, QByteArray("changed"), &Finding::what);
    ASSERT_TRUE(f != findings.end() && f->record == 13);
    EXPECT_GE(f->firstSeen.section("(line ", 1).chopped(1).toLongLong(), linesBefore)
        << qPrintable(f->firstSeen);
}

TEST_F(SealedMonth, TheKeyStaysTheSealersAndARotationCutShortIsFinishedOrUndone) {
    struct stat folder {
    }, key{};
    ASSERT_EQ(::stat(qPrintable(Path("keys")), &folder), 0);
    ASSERT_EQ(::stat(qPrintable(Path("keys/current.key")), &key), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    EXPECT_EQ(key.st_mode & 07777, 0600u);
    SealService second({Path("datafiles"), Path("seals"), Path("keys")}, [] { return SealTime{}; });
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(second.Error().contains("another tarvek-seal")) << qPrintable(second.Error());
    service.reset();
    ASSERT_EQ(::chmod(qPrintable(Path("keys")), 0750), 0);
    SealService open({Path("datafiles"), Path("seals"), Path("keys")}, [] { return SealTime{}; });
    EXPECT_FALSE(open.Start());
    EXPECT_TRUE(open.Error().contains("mode 0750")) << qPrintable(open.Error());
    ASSERT_EQ(::chmod(qPrintable(Path("keys")), 0700), 0);
    KeyStore keys(Path("keys"), Path("seals"));
    const SealKey next = SealKey::Generate();
    for (const bool named : {false, true}) {
        ASSERT_FALSE(keys.StoreNext(next, 2026 * 12 + 11, utc));
        QString error;
        const auto current = keys.Load(
            2026 * 12 + 11, utc, [&](const PublicKey&) { return named; }, &error);
        ASSERT_TRUE(current) << qPrintable(error);
        EXPECT_EQ(current->key->Public() == next.Public(), named);
        EXPECT_FALSE(QFile::exists(Path("keys/next.key")));
    }
    // A key file of another layout is no key, whatever its seed.
    WriteBytes(Path("keys/current.key"), ReadBytes(Path("keys/current.key")).replace("KEY-1 ", "KEY-2 "));
    QString error;
    EXPECT_FALSE(keys.Load(
        2026 * 12 + 11, utc, [](const PublicKey&) { return true; }, &error));
    EXPECT_TRUE(error.endsWith("current.key: not a key file")) << qPrintable(error);
}

// The README's check of one line, with openssl and coreutils only.
TEST_F(SealedMonth, OpensslChecksALineWithStockToolsAlone) {
    const QString check =
        "cd '" + Path("seals") +
        "' && sed -n '/BEGIN/,/END/p' keys.txt > key.pem && "
        "dd if=12-2026-Seal.txt bs=512 skip=2 count=1 2>/dev/null > line && "
        "head -c 419 line > line.bin && tail -c 89 line | head -c 88 | base64 -d > sig.bin && %1"
        "openssl pkeyutl -verify -pubin -inkey key.pem -rawin -in line.bin -sigfile sig.bin";
    for (const auto& [edit, status, says] :
         {std::tuple{"", 0, "Signature Verified Successfully"},
          {"printf 9 | dd of=line.bin bs=1 seek=60 conv=notrunc 2>/dev/null && ", 1,
           "Signature Verification Failure"}}) {
        QProcess sh;
        sh.start("sh", {"-c", check.arg(edit)});
        ASSERT_TRUE(sh.waitForFinished(10000));
        EXPECT_EQ(sh.exitCode(), status) << sh.readAllStandardError().constData();
        EXPECT_TRUE(sh.readAllStandardOutput().contains(says));
    }
}

// Both programs as they are run: tarvek-seal as a plain process, an edit
// sealed within two seconds, SIGKILL and a start again explained, SIGTERM
// ending it with its Stop line; tarvek-verify's exit codes, keys and CSV.
TEST_F(SealedMonth, TheProgramsAsAServiceAndAnAuditorRunThem) {
    ASSERT_TRUE(service->Stop());
    const QByteArray fingerprint = Fingerprint(service->State()->Key().Public());
    service.reset();
    const auto verify = [](const QStringList& arguments) {
        QProcess p;
        p.start(TARVEK_VERIFY, arguments);
        p.waitForFinished(20000);
        return std::pair{p.exitCode(), p.readAllStandardOutput()};
    };
    EXPECT_TRUE(verify({"--key", state.AppFolder}).second.contains(fingerprint));
    QDir().mkpath(Path("empty/seals"));
    EXPECT_EQ(verify({Path("empty")}).first, 2);
    EXPECT_EQ(verify({"--from", "2026-13", state.AppFolder}).first, 2);
    EXPECT_EQ(verify({"--from", "2026-12-08", "--to", "2026-12", state.AppFolder}).first, 0);
    const QByteArray keys = ReadBytes(Path("seals/keys.txt"));
    for (const QByteArray& listed : {QByteArray(), keys.left(keys.indexOf("-----BEGIN"))}) {
        QFile::remove(Path("seals/keys.txt"));
        if (!listed.isEmpty())
            WriteBytes(Path("seals/keys.txt"), listed);
        const auto [status, said] = verify({state.AppFolder});
        EXPECT_TRUE(status == 2 && said.contains("seals: no keys.txt that lists a key")) << said.data();
    }
    WriteBytes(Path("seals/keys.txt"), keys);

    const QString seals = Path("seals/12-2026-Seal.txt");
    const qint64 before = ReadBytes(seals).size();
    QProcess seal;
    seal.start(TARVEK_SEAL, {"--data", Path("datafiles"), "--seals", Path("seals"), "--keys", Path("keys")});
    ASSERT_TRUE(WaitUntil([&] { return ReadBytes(seals).size() > before; }));
    Edit(DataName, 3 * Record + 25, "7");
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(seals).mid(before).contains("CHANGED"); }, 2000));
    // Killed, a record stored meanwhile, started again: it seals that record.
    ::kill(pid_t(seal.processId()), SIGKILL);
    ASSERT_TRUE(seal.waitForFinished(5000));
    const QDateTime now = QDateTime::currentDateTime();
    Store(now.time(), 1, now.toString("dd-MM-yyyy"));
    const QString month = now.toString("MM-yyyy");
    const QByteArray stored = ReadBytes(Path("datafiles/" + month + "-Data.txt")).right(Record);
    seal.start(TARVEK_SEAL, seal.arguments());
    EXPECT_TRUE(
        WaitUntil([&] { return ReadBytes(Path("seals/" + month + "-Data.sealed")).endsWith(stored); }));
    ::kill(pid_t(seal.processId()), SIGTERM);
    ASSERT_TRUE(seal.waitForFinished(5000));
    EXPECT_EQ(seal.exitCode(), 0) << seal.readAllStandardError().constData();
    EXPECT_TRUE(ReadBytes(seals).right(512).startsWith("TARVEK-SEAL-1 STOP"));
    EXPECT_EQ(verify({"--csv", Path("findings.csv"), state.AppFolder}).first, 1);
    const QByteArray csv = ReadBytes(Path("findings.csv"));
    EXPECT_TRUE(csv.contains(",changed," + DataName.mid(10).toLatin1() + ",3,")) << csv.constData();
    EXPECT_TRUE(csv.contains(",restart,") && !csv.contains(",gap,")) << csv.constData();
}

// Runs `script` with sh as `user`, `input` on its standard input: its exit
// code and what it said.
std::pair<int, QByteArray> As(const QString& user, const QString& script, const QByteArray& input = {}) {
    QProcess p;
    p.start("runuser", {"-u", user, "--", "env", "LC_ALL=C", "sh", "-c", script});
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    return {p.exitCode(), p.readAllStandardError()};
}

// Throwaway users and the sealer run as one of them, undone even on failure.
struct Users {
    QStringList made;
    QProcess sealer;
    ~Users() {
        sealer.terminate(); // runuser hands SIGTERM on
        sealer.waitForFinished(5000);
        for (const QString& user : made)
            QProcess::execute("userdel", {user});
    }
    bool Add(const QString& user, const QStringList& options) {
        if (QProcess::execute("useradd", options + QStringList{"--no-create-home", user}) != 0)
            return false;
        made += user;
        return true;
    }
};

// As the package has it: two operators in dialout, the sealer a system user
// of its own owning seals/ (0755) and its key folder (0700).
TEST_F(SealedMonth, AnOperatorsEditIsSealedAndTheSealsAndKeyAreBeyondReach) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "makes users: root only";
    service.reset();
    const QString id = QString::number(::getpid());
    const QString op1 = "tvkop1-" + id, op2 = "tvkop2-" + id, sealer = "_tvkseal-" + id;
    Users users;
    ASSERT_TRUE(users.Add(op1, {"--groups", "dialout"}) && users.Add(op2, {"--groups", "dialout"}) &&
                users.Add(sealer, {"--system", "--user-group", "--groups", "dialout"}));
    QTemporaryDir dir("/tmp/tarvek-seal-users.XXXXXX");
    const QString d = dir.path();
    const passwd* s = ::getpwnam(qPrintable(sealer));
    const group* dialout = ::getgrnam("dialout");
    ASSERT_TRUE(s && dialout && ::chmod(qPrintable(d), 0755) == 0);
    for (const auto& [name, uid, gid, mode] : {std::tuple{"datafiles", uid_t(0), dialout->gr_gid, 02775},
                                               {"seals", s->pw_uid, s->pw_gid, 0755},
                                               {"keys", s->pw_uid, s->pw_gid, 0700}})
        ASSERT_TRUE(QDir(d).mkdir(name) && ::chown(qPrintable(d + '/' + name), uid, gid) == 0 &&
                    ::chmod(qPrintable(d + '/' + name), mode_t(mode)) == 0);
    ASSERT_TRUE(QFile::copy(TARVEK_SEAL, d + "/tarvek-seal")); // the build tree may be closed to it
    const QString data = d + '/' + DataName, seals = d + "/seals/12-2026-Seal.txt";
    ASSERT_EQ(As(op1, "umask 002 && cat > " + data, ReadBytes(Path(DataName))).first, 0);

    users.sealer.start("runuser", {"-u", sealer, "--", d + "/tarvek-seal", "--data", d + "/datafiles",
                                   "--seals", d + "/seals", "--keys", d + "/keys"});
    const QByteArray last = ReadBytes(data).right(Record);
    ASSERT_TRUE(WaitUntil([&] { return ReadBytes(d + "/seals/12-2026-Data.sealed").endsWith(last); }))
        << users.sealer.readAllStandardError().constData();
    const auto [edited, why] =
        As(op2, "printf 7 | dd of=" + data + " bs=1 seek=" + QString::number(3 * Record + 25) +
                    " conv=notrunc status=none");
    EXPECT_EQ(edited, 0) << why.constData();
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(seals).contains("CHANGED"); }, 2000));
    for (const char* script :
         {"echo x > seals/probe", "echo x >> seals/12-2026-Seal.txt", "rm -f seals/12-2026-Seal.txt",
          "mv seals/12-2026-Data.sealed seals/moved", "cat keys/current.key", "ls keys"}) {
        const auto [status, said] = As(op1, "cd " + d + " && " + QString(script));
        EXPECT_TRUE(status != 0 && said.contains("Permission denied")) << script << ": " << said.data();
    }
}

} // namespace
