// A store cut off at any moment, by a kill or by a power cut: every data file
// then holds whole records in their places and a count that never names a
// missing record; of the records reported stored, only the one in flight may
// still lack its count. Every event log holds each event logged and reported,
// none invented, at most a torn last one. The storing worker is a fork of
// the test, or the test binary itself where strace runs it.
#include "common/TextHelpers.h"
#include "config/AcquisitionStatus.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "data/EventLog.h"
#include "data/MonthFiles.h"
#include "data/StoringData.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <map>
#include <random>
#include <set>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// Scan `seq` (from 0): a new month every five scans, its number in every value.
void StampScan(Declarations& state, long long seq) {
    const int month = int(seq / 5);
    state.ScanDate = DateStamp(QDate(2000 + month / 12, 1 + month % 12, 1 + int(seq % 5)));
    state.ScanTime = TimeText(QTime(0, 0).addSecs(int(seq % 86400)));
    state.ChannelValue.fill(QString::number(seq).rightJustified(ValueWidth, u' '));
}

// The records of scans first .. first + n - 1, by the data file's layout.
QByteArray Records(long long first, long long n) {
    QByteArray bytes;
    for (Declarations state; n-- > 0; ++first) {
        StampScan(state, first);
        bytes += DataLine(state.ScanTime.toLatin1(), QList<QByteArray>(8, QByteArray::number(first)),
                          state.ScanDate.toLatin1());
    }
    return bytes;
}

QString ScanFile(long long seq) {
    return DataFileName(QString::fromLatin1(Records(seq, 1).left(10)));
}

// What a data file may hold when its writer stopped at any moment, `reported`
// of its scans (from `first` on) having been reported stored: a count of those
// or one more, the records counted, then at most the next or the start of it.
// Before its first count, a new file holds a blank record where the header
// goes. `kept` gets the number of records the next store goes on after.
::testing::AssertionResult StoredAsReported(const QByteArray& file, long long first, int reported,
                                            int* kept = nullptr) {
    const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(file.left(DataRecordLength)));
    const int counted = count.value_or(0);
    if (kept) // every whole record, the one whose count was not yet raised too
        *kept = int(std::max<qsizetype>(file.size() / DataRecordLength - 1, 0));
    const QByteArray expected =
        (count ? DataHeader(counted) : Record("", DataRecordLength)) + Records(first, counted + 1);
    if (counted < reported || counted > reported + 1 ||
        (count && file.size() < DataRecordLength * (counted + 1)))
        return ::testing::AssertionFailure() << "counts " << counted << " in " << file.size() << " bytes";
    return expected.startsWith(file) ? ::testing::AssertionSuccess()
                                     : ::testing::AssertionFailure() << "differs from the stored records";
}

// The event a scan logs after its store: its number as the value.
Event ScanEvent(long long seq) {
    Declarations state;
    StampScan(state, seq);
    return Event{state.ScanDate, state.ScanTime, "HIGH", 1, "RAISED", state.ChannelValue[1], "", "", ""};
}

QString EventFile(long long seq) {
    return EventFileName(ScanEvent(seq).date);
}

// What an event log may hold when its writer stopped at any moment: events of
// scans from `first` on, each as logged and in order; all those below
// `reported` but the `lost` ones (in flight at a kill); no torn record but
// the last.
::testing::AssertionResult LoggedAsReported(const QByteArray& file, long long first, long long reported,
                                            const std::set<long long>& lost = {}) {
    const EventBytes read = ParseEventBytes(file);
    if (read.skipped > (file.size() % EventRecordLength ? 1 : 0))
        return ::testing::AssertionFailure() << read.skipped << " records are no events";
    long long next = first;
    const auto lacks = [&](long long end) {
        for (; next < end; ++next)
            if (next < reported && !lost.contains(next))
                return true;
        return false;
    };
    for (const LoggedEvent& logged : read.events) {
        const long long seq = logged.event.value.trimmed().toLongLong();
        if (lacks(seq))
            return ::testing::AssertionFailure() << "lacks the event of scan " << next;
        if (seq != next++ || !(logged.event == ScanEvent(seq)))
            return ::testing::AssertionFailure() << "holds an event never logged at record " << logged.record;
    }
    return lacks(reported) ? ::testing::AssertionFailure() << "lacks the event of scan " << next
                           : ::testing::AssertionSuccess();
}

// Stores scans from `first` on under `folder` through the logger's
// StoreDataRecord, `count` of them (after saving the set-up, as Save and Start
// do) or, with a `count` of -1, until killed, logging an event after each and
// then writing its number and a line feed to `out` in one write(2), so the
// reader knows which records must be in the files. False at a failure.
bool StoreScans(const QString& folder, long long first, long long count, int out) {
    Declarations state;
    state.AppFolder = folder;
    state.AcquisitionFlag = QStringLiteral("1");
    if (count >= 0 && (!SaveChannelParameters(state.AppFolder, {}, {}) ||
                       !SaveGeneralParameters(state.AppFolder, state.SetUp.GeneralLabel, "2", "1") ||
                       !WriteAcquisitionStatus(state.AppFolder, state.AcquisitionFlag)))
        return false;
    for (long long seq = first; count < 0 || seq < first + count; ++seq) {
        StampScan(state, seq);
        const std::string line = std::to_string(seq) + '\n';
        if (!StoreDataRecord(state) ||
            !AppendEvents(DataFolderPath(state.AppFolder) + u'/' + EventFile(seq), {ScanEvent(seq)}) ||
            write(out, line.data(), line.size()) != ssize_t(line.size()))
            return false;
    }
    return true;
}

class CrashSafeStorage : public AppFolderTest {};

// Kills workers at random moments, each going on where the last left off, and
// checks the file of the scan in flight after every kill. A worker is a fork
// of the test: it stores from its first moment, with no program to load.
// TARVEK_CRASH_KILLS sets the number of kills (bench/crash.sh: hundreds).
TEST_F(CrashSafeStorage, KilledWhileStoring) {
    const int kills = qEnvironmentVariableIsSet("TARVEK_CRASH_KILLS")
                          ? qEnvironmentVariableIntValue("TARVEK_CRASH_KILLS")
                          : 40;
    std::mt19937 random(20090101);
    long long next = 0;       // the first scan of the next worker
    std::set<long long> lost; // scans in flight at a kill: their events may be missing
    for (int k = 0; k < kills; ++k) {
        int reports[2];
        ASSERT_EQ(::pipe(reports), 0);
        const pid_t worker = ::fork();
        if (worker == 0)
            ::_exit(StoreScans(state.AppFolder, next, -1, reports[1]) ? 0 : 1);
        ::close(reports[1]);
        char said[4096];
        ssize_t n = ::read(reports[0], said, sizeof said); // waits for the first report
        ASSERT_GT(n, 0) << "the worker stored nothing";
        ::usleep(random() % 3000);
        int status = 0;
        ASSERT_TRUE(::kill(worker, SIGKILL) == 0 && ::waitpid(worker, &status, 0) == worker &&
                    WIFSIGNALED(status))
            << "the worker ended before it was killed";
        // The scan being stored at the kill: the next after those reported.
        long long inFlight = next;
        for (; n > 0; n = ::read(reports[0], said, sizeof said))
            inFlight += std::count(said, said + n, '\n');
        ::close(reports[0]);
        const long long first = inFlight / 5 * 5;
        int kept = 0;
        ASSERT_TRUE(
            StoredAsReported(ReadBytes(DataPath(ScanFile(inFlight))), first, int(inFlight - first), &kept))
            << "after kill " << k << " with scan " << inFlight << " in flight";
        lost.insert(inFlight);
        ASSERT_TRUE(LoggedAsReported(ReadBytes(DataPath(EventFile(inFlight))), first, inFlight, lost))
            << "event log after kill " << k << " with scan " << inFlight << " in flight";
        next = first + kept;
    }
}

// A power cut at any point of a series of stores, replayed from the file
// operations the worker makes (recorded by strace) the way file-system crash
// checkers do: what a sync covered is on the disk; of the writes since, none,
// all or any one alone. Whenever the worker reports (after saving the set-up
// and a store), all it wrote and every file and folder it made is on the disk.
TEST_F(CrashSafeStorage, PowerCutAtAnyPointOfAStoreSeries) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty())
        GTEST_SKIP() << "strace not installed (scripts/install-deps.sh installs it)";
    constexpr int Scans = 12; // three months' files
    const QString trace = state.AppFolder + "/trace";
    // LeakSanitizer cannot run under ptrace: the traced worker goes without it.
    const QString asan = "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0";
    QProcess traced; // -xx -y: every byte as \xNN, each descriptor with its path
    traced.start(strace, {"-xx", "-y", "-s65536", "-E", asan, "-o", trace,
                          "-etrace=openat,mkdir,mkdirat,write,lseek,fsync,fdatasync",
                          QCoreApplication::applicationFilePath(), "--store-worker", state.AppFolder, "0",
                          QString::number(Scans)});
    ASSERT_TRUE(traced.waitForFinished(30000) && traced.exitStatus() == QProcess::NormalExit &&
                traced.exitCode() == 0);

    static const QRegularExpression call(
        QStringLiteral(R"(^(\w+)\((\d*)(?:<([^>]*)>)?(.*)\)\s+= (\d+)(?:<([^>]*)>)?)"));
    const auto bytes = [](QString s) { return QByteArray::fromHex(s.remove(u'"').remove("\\x").toLatin1()); };
    struct File {
        QByteArray synced;                                 // what the disk holds for sure
        std::vector<std::pair<qint64, QByteArray>> writes; // where and what, since the last sync
    };
    const auto apply = [](QByteArray& file, const std::pair<qint64, QByteArray>& write) {
        const auto& [offset, what] = write;
        file = file.leftJustified(offset + what.size(), '\0').replace(offset, what.size(), what);
    };
    std::map<QString, File> files;
    std::map<QString, bool> made;      // files and folders made: whether their folder is synced since
    std::map<QString, qint64> at;      // the offset in each file opened
    std::map<QString, bool> appending; // opened with O_APPEND
    int reported = 0, calls = 0;
    for (const QByteArray& line : ReadBytes(trace).split('\n')) {
        const QRegularExpressionMatch m = call.match(QString::fromLatin1(line));
        const QString name = m.captured(1);
        const QStringList args = m.captured(4).split(QStringLiteral(", "));
        const qint64 result = m.captured(5).toLongLong();
        const QString path = QString::fromLocal8Bit(bytes(name == "openat"    ? m.captured(6)
                                                          : name == "mkdir"   ? args[0]
                                                          : name == "mkdirat" ? args[1]
                                                                              : m.captured(3)));
        if (m.hasMatch() && name == "write" && m.captured(2) == "1") { // a report
            ++reported;
            for (const auto& [file, written] : files)
                ASSERT_TRUE(written.writes.empty()) << qPrintable(file) << " not synced at a report";
            for (const auto& [entry, synced] : made)
                ASSERT_TRUE(synced) << qPrintable(entry)
                                    << " made but not synced into its folder at a report";
        }
        if (!m.hasMatch() || !path.startsWith(state.AppFolder)) // a failed call, or not on the worker's files
            continue;
        ++calls;
        if (name.startsWith("mkdir") ||
            (name == "openat" && args[2].contains("O_CREAT") && !at.contains(path)))
            made[path] = false;
        if (name == "openat" || name == "lseek")
            at[path] = name == "lseek" ? result : 0;
        if (name == "openat")
            appending[path] = args[2].contains("O_APPEND");
        if (name == "write" && appending[path]) { // whatever the offset, the write goes to the end
            QByteArray now = files[path].synced;
            for (const auto& write : files[path].writes)
                apply(now, write);
            at[path] = now.size();
        }
        if (name == "write")
            files[path].writes.push_back({(at[path] += result) - result, bytes(args[1]).left(result)});
        if (name.endsWith("sync")) {
            for (const auto& write : files[path].writes)
                apply(files[path].synced, write);
            files[path].writes.clear();
            for (auto& [entry, synced] : made)
                synced = synced || QFileInfo(entry).path() == path;
        }
        // A cut now leaves each data file with none, all or any one alone of its writes since the last sync.
        for (long long first = 0; first < Scans; first += 5) {
            const File& file = files[DataPath(ScanFile(first))]; // empty while not made
            std::vector<QByteArray> states(file.writes.size() + 2, file.synced);
            for (size_t i = 0; i < file.writes.size(); ++i) {
                apply(states[1], file.writes[i]);
                apply(states[i + 2], file.writes[i]);
            }
            for (size_t w = 0; w < states.size(); ++w)
                ASSERT_TRUE(
                    StoredAsReported(states[w], first, int(std::clamp<long long>(reported - first, 0, 5))))
                    << "data file of scan " << first << " after " << calls << " calls, state " << w
                    << " (0: no write since the sync, 1: all " << file.writes.size() << ", then each alone)";
            const File& log = files[DataPath(EventFile(first))];
            QByteArray logged = log.synced;
            for (size_t i = 0; i <= log.writes.size(); ++i, logged = log.synced) {
                if (i > 0)
                    apply(logged, log.writes[i - 1]);
                ASSERT_TRUE(LoggedAsReported(logged, first, std::min<long long>(reported, first + 5)))
                    << "event log of scan " << first << " after " << calls << " calls, write " << i
                    << " alone";
            }
        }
    }
    EXPECT_EQ(reported, Scans);
    EXPECT_EQ(files[SettingPath(GeneralParametersFile)].synced.size(), 17 * 80)
        << "the set-up saved and traced";
}

} // namespace

// tarvek_tests --store-worker FOLDER FIRST COUNT: StoreScans into FOLDER,
// reporting to stdout; a failure ends it with status 1.
int RunStoreWorker(char** argv) {
    const QString folder = QString::fromLocal8Bit(argv[2]);
    return StoreScans(folder, std::atoll(argv[3]), std::atoll(argv[4]), STDOUT_FILENO) ? 0 : 1;
}
