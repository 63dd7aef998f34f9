// Kills a process that stores data records with SIGKILL at random moments,
// hundreds of times, and checks after every kill what the data files hold:
// whole 160-byte records, a header count that names only records the file
// has, every record the worker reported as stored in its place, and nothing
// lost or left behind but the one record being written when the kill came.
#include "StoreWorkerRecords.h"
#include "TestSupport.h"

#include <chrono>
#include <map>
#include <random>
#include <thread>

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

// A worker built with AddressSanitizer takes several times longer to start:
// half the kills there keep the run time in bounds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int KillDivisor = 2;
#else
constexpr int KillDivisor = 1;
#endif

// Runs tarvek-store-worker with its stdout on a pipe (spawned, not forked: a
// fork of the test process would take longer than most runs). It stores
// scans from `first` on, `count` of them, or (count < 0) until it is killed
// with SIGKILL `killAfter` after its first report. Gives its wait status;
// `output` gets what it reported.
int RunWorker(const QString& folder, WorkerMonths months, long long first, long long count,
              std::chrono::microseconds killAfter, QByteArray* output) {
    std::string args[] = {folder.toStdString(), months == WorkerMonths::One ? "one" : "change",
                          std::to_string(first), std::to_string(count)};
    char* argv[] = {const_cast<char*>(TARVEK_STORE_WORKER), args[0].data(), args[1].data(), args[2].data(),
                    count < 0 ? nullptr : args[3].data(),   nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, TARVEK_STORE_WORKER, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned && count < 0) {
        pollfd ready{fds[0], POLLIN, 0};
        if (poll(&ready, 1, 30000) == 1)
            std::this_thread::sleep_for(killAfter);
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

class CrashSafeStorage : public AppFolderTest {
  protected:
    void KillRepeatedly(WorkerMonths months, int kills, unsigned seed) {
        std::mt19937 random(seed);
        long long next = 0; // the first scan of the next worker
        for (int k = 0; k < kills && !HasFailure(); ++k) {
            QByteArray output;
            const auto killAfter = std::chrono::microseconds(random() % 3000);
            const int status = RunWorker(d.AppFolder, months, next, -1, killAfter, &output);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the worker ended before it was killed";
            ASSERT_FALSE(output.isEmpty()) << "the worker stored nothing";

            // Each line came in one write(2), so the pipe holds whole ones.
            long long inFlight = next; // the scan being stored at the kill
            for (const QByteArray& line : output.split('\n')) {
                if (line.isEmpty())
                    continue;
                ASSERT_EQ(line.toLongLong(), inFlight) << "the worker skipped a scan";
                files_[ScanFileName(inFlight, months)].records += ScanRecord(inFlight, months);
                ++inFlight;
            }
            // The files of earlier months are done with: the end compares them.
            next = CheckFile(inFlight, months) ? inFlight + 1 : inFlight;
        }
        if (HasFailure())
            return; // the first kill that broke something tells the story

        // One more worker runs to its end: every file is whole and complete.
        QByteArray output;
        ASSERT_EQ(RunWorker(d.AppFolder, months, next, 20, {}, &output), 0);
        for (long long seq = next; seq < next + 20; ++seq)
            files_[ScanFileName(seq, months)].records += ScanRecord(seq, months);
        EXPECT_EQ(QDir(d.AppFolder + "/datafiles").entryList(QDir::Files).size(), qsizetype(files_.size()));
        for (const auto& [name, file] : files_)
            EXPECT_EQ(ReadBytes(DataPath(name)),
                      DataFileHeader(file.records.size() / Length).toLatin1() + file.records)
                << qPrintable(name);
    }

    // The file of the scan in flight at a kill: a header counting the records
    // stored into it, those records, then at most part or all of the scan in
    // flight. True when that scan is stored and counted.
    bool CheckFile(long long inFlight, WorkerMonths months) {
        const QString name = ScanFileName(inFlight, months);
        DataFile& model = files_[name];
        QByteArray header, rest; // rest: after the records compared already
        if (QFile file(DataPath(name)); file.open(QIODevice::ReadOnly)) {
            header = file.read(Length);
            file.seek(Length + model.checked);
            rest = file.readAll();
        }
        const QByteArray record = ScanRecord(inFlight, months);
        const qsizetype stored = model.records.size() / Length;
        const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(header));
        // Killed after the header was raised, before the report: stored all the
        // same. Only a new file's first store is cut off before its header is
        // written; once its record is whole the next store counts it, going on
        // after the last whole record.
        const bool counted = count ? *count == stored + 1 : rest == record;
        if (count) {
            EXPECT_EQ(header, DataFileHeader(stored + counted).toLatin1()) << qPrintable(name);
            const QByteArray expected = model.records.mid(model.checked) + record;
            EXPECT_TRUE(expected.startsWith(rest) && rest.size() >= expected.size() - (counted ? 0 : Length))
                << qPrintable(name) << ": " << rest.size() << " bytes after " << model.checked / Length
                << " records compared, " << expected.size() << " expected";
        } else {
            EXPECT_TRUE(stored == 0 && (Record("", Length) + record).startsWith(header + rest))
                << qPrintable(name) << ": header lost";
        }
        if (counted)
            model.records += record;
        model.checked = model.records.size();
        return counted;
    }

    struct DataFile {
        QByteArray records;    // the data records the file must hold
        qsizetype checked = 0; // bytes of them compared with the file already
    };
    std::map<QString, DataFile> files_;
};

TEST_F(CrashSafeStorage, KilledWhileStoringIntoOneMonthsFile) {
    KillRepeatedly(WorkerMonths::One, 400 / KillDivisor, 20080305);
}

// A new month every five records: a fifth of the kills land while a new
// month's file is being started.
TEST_F(CrashSafeStorage, KilledWhileTheMonthChanges) {
    KillRepeatedly(WorkerMonths::Change, 200 / KillDivisor, 20090101);
}

} // namespace

#endif
