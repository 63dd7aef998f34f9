// A store cut off at any moment, by a kill or by a power cut: every data file
// must then hold whole records in their places, a count that never names a
// missing record, and every record reported stored; only the record in flight
// may be lost.
#include "StoreWorkerRecords.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <chrono>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#ifdef TARVEK_STORE_WORKER

namespace {

constexpr int Length = DataRecordLength;

// Runs `args` (the program first) with its stdout on a pipe; spawned, not
// forked: a fork of the test process would take longer than most runs. With
// `killAfter`, kills it with SIGKILL that long after its first report. Gives
// its wait status; `output` gets what it wrote.
int RunProgram(std::vector<std::string> args, std::optional<std::chrono::microseconds> killAfter,
               QByteArray* output) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned && killAfter) {
        pollfd ready{fds[0], POLLIN, 0};
        if (poll(&ready, 1, 30000) == 1)
            std::this_thread::sleep_for(*killAfter);
        kill(pid, SIGKILL);
    }
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        output->append(buffer, n);
    close(fds[0]);
    int status = -1;
    if (spawned)
        waitpid(pid, &status, 0);
    return status;
}

// tarvek-store-worker storing the scans from `first` on into `folder`, `count`
// of them, or until it is killed; with `save`, it saves the set-up first.
std::vector<std::string> Worker(const QString& folder, WorkerMonths months, long long first,
                                std::optional<long long> count = {}, bool save = false) {
    std::vector<std::string> args = {TARVEK_STORE_WORKER, folder.toStdString(),
                                     months == WorkerMonths::One ? "one" : "change", std::to_string(first)};
    if (count)
        args.push_back(std::to_string(*count));
    if (save)
        args.push_back("save");
    return args;
}

// What a data file may hold when its writer stopped at any moment, `reported`
// of the scans from `first` on having been reported stored into it: a header
// counting those, or one more (stored, not yet reported), the records it
// counts in their places, then at most the next record or the start of it.
// Before its first count, a new file holds a blank record where the header
// goes. Sets `kept` to the records the next store goes on after: those
// counted, or before the first count, the first record once it is whole.
::testing::AssertionResult StoredAsReported(const QByteArray& file, long long first, int reported,
                                            WorkerMonths months, int* kept) {
    const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(file.left(Length)));
    const int counted = count.value_or(0);
    *kept = count ? counted : file.size() >= 2 * Length;
    QByteArray expected = count ? DataFileHeader(counted).toLatin1() : Record("", Length);
    for (long long seq = first; seq <= first + counted; ++seq)
        expected += ScanRecord(seq, months);
    if (counted < reported || counted > reported + 1)
        return ::testing::AssertionFailure()
               << "counts " << counted << " records, " << reported << " reported";
    if (count && file.size() < Length * (counted + 1))
        return ::testing::AssertionFailure()
               << "counts " << counted << " records in " << file.size() << " bytes";
    if (!expected.startsWith(file))
        return ::testing::AssertionFailure()
               << "differs from the expected records at byte "
               << std::mismatch(file.begin(), file.end(), expected.begin(), expected.end()).first -
                      file.begin();
    return ::testing::AssertionSuccess();
}

class CrashSafeStorage : public AppFolderTest {
  protected:
    // Kills workers at random moments, each going on where the last left
    // off, and checks the file of the scan in flight after every kill.
    // TARVEK_CRASH_KILLS sets the number of kills (bench/crash.sh: hundreds).
    void KillRepeatedly(WorkerMonths months, unsigned seed) {
        const int kills = qEnvironmentVariableIsSet("TARVEK_CRASH_KILLS")
                              ? qEnvironmentVariableIntValue("TARVEK_CRASH_KILLS")
                              : 40;
        std::mt19937 random(seed);
        long long next = 0; // the first scan of the next worker
        for (int k = 0; k < kills; ++k) {
            QByteArray output;
            const auto killAfter = std::chrono::microseconds(random() % 3000);
            ASSERT_TRUE(WIFSIGNALED(RunProgram(Worker(d.AppFolder, months, next), killAfter, &output)))
                << "the worker ended before it was killed";
            ASSERT_FALSE(output.isEmpty()) << "the worker stored nothing";
            long long inFlight = next;                          // the scan being stored at the kill
            for (const QByteArray& line : output.split('\n')) { // one write(2) each: whole lines
                if (!line.isEmpty()) {
                    ASSERT_EQ(line.toLongLong(), inFlight++) << "the worker skipped a scan";
                }
            }
            const long long first = FirstScanOfFile(inFlight, months);
            int kept = 0;
            ASSERT_TRUE(StoredAsReported(ReadBytes(DataPath(ScanFileName(inFlight, months))), first,
                                         int(inFlight - first), months, &kept))
                << "after kill " << k << " with scan " << inFlight << " in flight";
            next = first + kept;
        }

        // One more worker runs to its end: every file is whole and complete.
        QByteArray output;
        ASSERT_EQ(RunProgram(Worker(d.AppFolder, months, next, 20), {}, &output), 0);
        int files = 0;
        for (long long first = 0, end = next + 20; first < end; ++files) {
            const QString name = ScanFileName(first, months);
            long long last = first;
            while (last < end && ScanFileName(last, months) == name)
                ++last;
            const QByteArray file = ReadBytes(DataPath(name));
            int kept = 0;
            EXPECT_TRUE(StoredAsReported(file, first, int(last - first), months, &kept)) << qPrintable(name);
            EXPECT_EQ(file.size(), Length * (last - first + 1)) << qPrintable(name);
            first = last;
        }
        EXPECT_EQ(QDir(d.AppFolder + "/datafiles").entryList(QDir::Files).size(), files);
    }
};

TEST_F(CrashSafeStorage, KilledWhileStoringIntoOneMonthsFile) {
    KillRepeatedly(WorkerMonths::One, 20080305);
}

// A new month every five records: a fifth of the kills land while a new
// month's file is being started.
TEST_F(CrashSafeStorage, KilledWhileTheMonthChanges) {
    KillRepeatedly(WorkerMonths::Change, 20090101);
}

// A file operation of a worker, as strace recorded it.
struct FileOp {
    enum Kind { Create, Write, Truncate, Sync, Report } kind;
    QString path;       // the file or folder it acts on
    qint64 offset = 0;  // Write: where; Truncate: the new size
    QByteArray bytes{}; // Write
};

// The worker's operations on files and folders under `folder`, in order, and
// its reports (writes to its stdout).
std::vector<FileOp> ReadTrace(const QByteArray& trace, const QString& folder) {
    static const QRegularExpression call(QStringLiteral(R"(^(\w+)\((.*)\)\s+= (\d+))"));
    const auto text = [](const QString& arg) { // strace -xx: every byte as \xNN
        return QByteArray::fromHex(arg.mid(1, arg.size() - 2).remove(QStringLiteral("\\x")).toLatin1());
    };
    std::vector<FileOp> ops;
    std::map<long long, QString> paths; // of the open descriptors
    std::map<long long, qint64> at;     // their offsets
    QSet<QString> seen;
    for (const QByteArray& line : trace.split('\n')) {
        const QRegularExpressionMatch m = call.match(QString::fromLatin1(line));
        if (!m.hasMatch())
            continue; // a failed call, or not a call
        const QString name = m.captured(1);
        const QStringList args = m.captured(2).split(QStringLiteral(", "));
        const long long result = m.captured(3).toLongLong(), fd = args[0].toLongLong();
        if (name == "openat" || name.startsWith("mkdir")) {
            const QString path = QString::fromLocal8Bit(text(args[name == "mkdir" ? 0 : 1]));
            if (!path.startsWith(folder))
                continue;
            if ((name != "openat" || args[2].contains("O_CREAT")) && !seen.contains(path))
                ops.push_back({FileOp::Create, path});
            seen.insert(path);
            if (name == "openat") {
                paths[result] = path;
                at[result] = 0;
            }
        } else if (name == "write" && fd == STDOUT_FILENO) {
            ops.push_back({FileOp::Report, {}});
        } else if (paths.contains(fd)) {
            if (name == "lseek")
                at[fd] = result;
            if (name == "write") {
                ops.push_back({FileOp::Write, paths[fd], at[fd], text(args[1]).left(result)});
                at[fd] += result;
            }
            if (name == "ftruncate")
                ops.push_back({FileOp::Truncate, paths[fd], args[1].toLongLong()});
            if (name == "fsync" || name == "fdatasync")
                ops.push_back({FileOp::Sync, paths[fd]});
            if (name == "close")
                paths.erase(fd);
        }
    }
    return ops;
}

void Apply(QByteArray& file, const FileOp& op) {
    if (op.kind == FileOp::Truncate)
        file.truncate(op.offset);
    if (op.kind == FileOp::Write) {
        file.append(QByteArray(qMax<qint64>(0, op.offset + op.bytes.size() - file.size()), '\0'));
        file.replace(op.offset, op.bytes.size(), op.bytes);
    }
}

// A power cut at any point of a series of stores, replayed from the file
// operations the worker makes (recorded by strace), the way file-system crash
// checkers do: what a sync covered is on the disk; of the writes since, none,
// all or any one alone. Whenever the worker reports (after saving the set-up,
// after each store), all it wrote and made must be on the disk.
TEST_F(CrashSafeStorage, PowerCutAtAnyPointOfAStoreSeries) {
#ifndef TARVEK_STRACE
    GTEST_SKIP() << "strace not installed (scripts/install-deps.sh installs it)";
#else
    constexpr int Scans = 12; // three months' files
    constexpr WorkerMonths months = WorkerMonths::Change;
    std::map<QString, long long> firstScan; // of each data file
    for (long long seq = Scans - 1; seq >= 0; --seq)
        firstScan[DataPath(ScanFileName(seq, months))] = seq;
    const QString trace = d.AppFolder + "/trace";
    QByteArray output;
    // LeakSanitizer cannot run under ptrace: the traced worker goes without it.
    const std::string asan =
        "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS").toStdString() + ":detect_leaks=0";
    const std::string calls = "-etrace=openat,mkdir,mkdirat,write,lseek,ftruncate,fsync,fdatasync,close";
    std::vector<std::string> args = Worker(d.AppFolder, months, 0, Scans, true);
    args.insert(args.begin(),
                {TARVEK_STRACE, "-xx", "-s65536", calls, "-E", asan, "-o", trace.toStdString()});
    ASSERT_EQ(RunProgram(args, {}, &output), 0) << "strace or the worker failed";
    const std::vector<FileOp> ops = ReadTrace(ReadBytes(trace), d.AppFolder);

    struct File {
        QByteArray synced;                  // what the disk holds for sure
        std::vector<const FileOp*> pending; // writes since the last sync
    };
    std::map<QString, File> files;
    std::map<QString, bool> made; // files and folders made, and whether their folder is synced since
    int reported = 0;
    for (size_t k = 0; k <= ops.size(); ++k) {
        for (const auto& [path, file] : files) {
            if (!firstScan.contains(path))
                continue; // a set-up file
            // What a power cut may leave: none, all or each one alone of the pending writes.
            std::vector<QByteArray> states(file.pending.size() + 2, file.synced);
            for (size_t i = 0; i < file.pending.size(); ++i) {
                Apply(states[1], *file.pending[i]);
                Apply(states[i + 2], *file.pending[i]);
            }
            const long long first = firstScan.at(path);
            long long last = first; // scans first..last-1 reported stored into this file
            while (last < reported && FirstScanOfFile(last, months) == first)
                ++last;
            for (size_t w = 0; w < states.size(); ++w) {
                int kept = 0;
                ASSERT_TRUE(StoredAsReported(states[w], first, int(last - first), months, &kept))
                    << qPrintable(path) << " after " << k << " of " << ops.size() << " operations, state "
                    << w << " (0: no pending write, 1: all " << file.pending.size() << ", then each alone)";
            }
        }
        if (k == ops.size())
            break;
        const FileOp& op = ops[k];
        if (op.kind == FileOp::Create)
            made[op.path] = false;
        if (op.kind == FileOp::Write || op.kind == FileOp::Truncate)
            files[op.path].pending.push_back(&op);
        if (op.kind == FileOp::Sync) {
            if (const auto file = files.find(op.path); file != files.end()) {
                for (const FileOp* write : file->second.pending)
                    Apply(file->second.synced, *write);
                file->second.pending.clear();
            }
            for (auto& [entry, synced] : made)
                synced = synced || QFileInfo(entry).path() == op.path;
        }
        if (op.kind == FileOp::Report) {
            // All the worker wrote, and every file and folder it made, is on the disk.
            ++reported;
            for (const auto& [path, file] : files)
                ASSERT_TRUE(file.pending.empty()) << qPrintable(path) << " not synced at a report";
            for (const auto& [entry, synced] : made)
                ASSERT_TRUE(synced) << qPrintable(entry)
                                    << " made but not synced into its folder at a report";
        }
    }
    EXPECT_EQ(reported, Scans);
    EXPECT_EQ(files.size(), 6u) << "three set-up files and three data files written";
#endif
}

} // namespace

#endif
