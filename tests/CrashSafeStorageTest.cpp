// Kills a process that stores data records with SIGKILL at random moments,
// hundreds of times, and checks after every kill what the data files hold:
// whole 160-byte records (or a torn last record that the next store
// replaces), a header count that names only records the file has, every
// record the worker reported as stored in its place, and nothing lost but
// the one record being written when the kill came.
#include "StoreWorkerRecords.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>
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

// A worker built with AddressSanitizer takes several times longer to start:
// half the kills there keep the run time in bounds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int KillDivisor = 2;
#else
constexpr int KillDivisor = 1;
#endif

// One run of tarvek-store-worker with its stdout on a pipe.
class Worker {
  public:
    Worker(const QString& folder, WorkerMonths months, long long first, long long count = -1) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const QByteArray folderArg = QFile::encodeName(folder);
        const QByteArray firstArg = QByteArray::number(first);
        const QByteArray countArg = QByteArray::number(count);
        std::vector<char*> argv{const_cast<char*>(TARVEK_STORE_WORKER), const_cast<char*>(folderArg.data()),
                                const_cast<char*>(months == WorkerMonths::One ? "one" : "change"),
                                const_cast<char*>(firstArg.data())};
        if (count >= 0)
            argv.push_back(const_cast<char*>(countArg.data()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TARVEK_STORE_WORKER, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Worker() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool Started() const { return pid_ > 0 && out_ >= 0; }

    // Waits (at most 30 s) until the worker has reported its first record.
    bool WaitForFirstReport() {
        while (!output_.contains('\n')) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 30000) <= 0 || !ReadSome())
                return false;
        }
        return true;
    }

    // Kills the worker, reaps it and collects what it reported. False when it
    // had already ended by itself.
    bool Kill() {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        while (ReadSome()) {
        }
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // Waits for a worker given a count to end; its exit status.
    int Finish() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        while (ReadSome()) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The sequence numbers reported, in order. Each line came in one write(2)
    // of a few bytes, so a pipe never holds half of one.
    std::vector<long long> Reported() const {
        std::vector<long long> seqs;
        for (const QByteArray& line : output_.split('\n'))
            if (!line.isEmpty())
                seqs.push_back(line.toLongLong());
        return seqs;
    }

  private:
    bool ReadSome() {
        char buffer[4096];
        const ssize_t n = read(out_, buffer, sizeof buffer);
        if (n > 0)
            output_.append(buffer, n);
        return n > 0;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    QByteArray output_;
};

struct Figures {
    int kills = 0;
    long long recordsStored = 0;  // reported by the workers
    long long recordsChecked = 0; // records compared after the kills
    long long recordsAtEnd = 0;   // records the files hold at the end, each compared again
    int inFlightLost = 0;         // the record being written is not in the file
    int inFlightUncounted = 0;    // written, header not yet raised: the next store replaces it
    int inFlightCounted = 0;      // stored and counted, killed before reporting it
    int tornTails = 0;            // kills that left part of a record at the end of a file
    int tornTailsMade = 0;        // torn writes simulated on top of a kill
    int killsAtMonthChange = 0;   // the record in flight was the first of its month's file
};

class CrashSafeStorage : public AppFolderTest {
  protected:
    struct FileModel {
        std::vector<long long> seqs; // the data records the file must hold, in order
        qsizetype verified = 0;      // leading data records already compared
    };

    QString Path(const QString& name) const { return DataPath(name); }

    // Kills `kills` workers at random moments and checks the files after each.
    void KillRepeatedly(WorkerMonths months, int kills, unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> delayMicroseconds(0, 3000);
        long long next = 0; // first scan of the next worker
        for (int k = 0; k < kills; ++k) {
            Worker worker(d.AppFolder, months, next);
            ASSERT_TRUE(worker.Started());
            ASSERT_TRUE(worker.WaitForFirstReport()) << "the worker stored nothing";
            std::this_thread::sleep_for(std::chrono::microseconds(delayMicroseconds(random)));
            ASSERT_TRUE(worker.Kill()) << "the worker ended before it was killed";
            ++figures_.kills;

            const std::vector<long long> reported = worker.Reported();
            ASSERT_FALSE(reported.empty());
            for (size_t i = 0; i < reported.size(); ++i)
                ASSERT_EQ(reported[i], next + static_cast<long long>(i)) << "the worker skipped a scan";
            figures_.recordsStored += static_cast<long long>(reported.size());
            next = CheckAfterKill(months, next, reported.back() + 1);
            if (HasFailure())
                return; // the first kill that broke something tells the story
            if (random() % 4 == 0)
                MakeTornWrite(months, next, random);
        }
        // One more worker runs to its end: every file is whole and complete.
        Worker last(d.AppFolder, months, next, 20);
        ASSERT_TRUE(last.Started());
        ASSERT_EQ(last.Finish(), 0);
        for (long long seq = next; seq < next + 20; ++seq)
            models_[ScanFileName(seq, months)].seqs.push_back(seq);
        CheckEveryFileWhole(months);
    }

    // The reported scans from `first` are in their files; `inFlight`, the scan
    // being stored at the kill, may or may not be. Returns the next scan.
    long long CheckAfterKill(WorkerMonths months, long long first, long long inFlight) {
        for (long long seq = first; seq < inFlight; ++seq)
            models_[ScanFileName(seq, months)].seqs.push_back(seq);
        if (months == WorkerMonths::Change && inFlight % RecordsPerMonth == 0)
            ++figures_.killsAtMonthChange;

        std::set<QString> touched;
        for (long long seq = first; seq <= inFlight; ++seq)
            touched.insert(ScanFileName(seq, months));
        const QString inFlightFile = ScanFileName(inFlight, months);
        bool inFlightStored = false;
        for (const QString& name : touched) {
            const bool stored = CheckFile(name, name == inFlightFile ? inFlight : -1, months);
            if (::testing::Test::HasFatalFailure())
                return inFlight;
            inFlightStored = inFlightStored || stored;
        }
        return inFlightStored ? inFlight + 1 : inFlight;
    }

    // Checks one file after a kill; `inFlight` is the scan that may be
    // partly there (-1: none for this file). True when it is stored and
    // counted, so the next worker goes on after it.
    bool CheckFile(const QString& name, long long inFlight, WorkerMonths months) {
        FileModel& model = models_[name];
        QFile file(Path(name));
        if (!file.exists()) {
            EXPECT_TRUE(model.seqs.empty()) << qPrintable(name) << " is gone";
            if (inFlight >= 0)
                ++figures_.inFlightLost;
            return false;
        }
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
        const qint64 size = file.size();
        const qint64 whole = size / Length;
        const qint64 torn = size % Length;
        const QByteArray header = file.read(Length);
        const std::optional<int> headerCount =
            whole >= 1 ? ReadHeaderCount(QString::fromLatin1(header)) : std::nullopt;

        // The records the next store counts as there.
        qint64 counted = 0;
        if (headerCount) {
            EXPECT_LE(*headerCount + 1, whole)
                << qPrintable(name) << ": the header counts a record the file does not hold";
            counted = *headerCount;
        } else if (whole >= 1) {
            // Only a new file's first store can be cut off before its header
            // is written: the header is still the blank record in front.
            EXPECT_TRUE(model.seqs.empty()) << qPrintable(name) << ": header lost, " << header.constData();
            EXPECT_EQ(header, QByteArray(Length - 3, ' ') + "*\r\n") << qPrintable(name);
            EXPECT_LE(whole, 2) << qPrintable(name);
            counted = whole - 1;
        }
        const qsizetype expected = qsizetype(model.seqs.size());
        bool inFlightCounted = false;
        if (counted == expected + 1 && inFlight >= 0) {
            inFlightCounted = true;
            model.seqs.push_back(inFlight);
            ++figures_.inFlightCounted;
        } else {
            EXPECT_EQ(counted, expected) << qPrintable(name) << ": a reported record is missing or extra";
            if (counted != expected)
                return false;
        }

        // Every counted record is the scan it should be, byte for byte.
        file.seek(qint64(model.verified + 1) * Length);
        for (qsizetype i = model.verified; i < qsizetype(counted); ++i) {
            const QByteArray record = file.read(Length);
            EXPECT_EQ(record, ScanRecord(model.seqs[size_t(i)], months))
                << qPrintable(name) << " data record " << i + 1;
            ++figures_.recordsChecked;
        }
        model.verified = qsizetype(counted);

        // After the counted records: at most the record in flight, whole or
        // torn, which the next store replaces.
        const qint64 beyond = whole - 1 - counted;
        if (whole >= 1) {
            EXPECT_GE(beyond, 0) << qPrintable(name);
        }
        EXPECT_LE(beyond, 1) << qPrintable(name) << ": more than one uncounted record";
        EXPECT_TRUE(beyond <= 0 || torn == 0) << qPrintable(name) << ": two records in flight";
        if ((beyond > 0 || torn > 0) && inFlight < 0)
            ADD_FAILURE() << qPrintable(name)
                          << ": records beyond the count, and nothing was in flight there";
        if (beyond == 1 && inFlight >= 0) {
            file.seek(qint64(counted + 1) * Length);
            EXPECT_EQ(file.read(Length), ScanRecord(inFlight, months)) << qPrintable(name);
            ++figures_.inFlightUncounted;
        }
        if (torn > 0) {
            ++figures_.tornTails;
            file.seek(whole * Length);
            const QByteArray expectedBytes =
                whole == 0 ? QByteArray(Length - 3, ' ') + "*\r\n" : ScanRecord(inFlight, months);
            EXPECT_EQ(file.read(torn), expectedBytes.left(torn)) << qPrintable(name) << ": torn tail";
        }
        if (!inFlightCounted && beyond <= 0 && torn == 0 && inFlight >= 0)
            ++figures_.inFlightLost;
        return inFlightCounted;
    }

    // What a kill in the middle of the write(2) of a record leaves: the first
    // bytes of it after the last whole record. The next store must replace it.
    void MakeTornWrite(WorkerMonths months, long long seq, std::mt19937& random) {
        const QString name = ScanFileName(seq, months);
        QFile file(Path(name));
        if (file.size() < Length || file.size() % Length != 0 ||
            file.size() / Length != qint64(models_[name].seqs.size()) + 1)
            return;
        ASSERT_TRUE(file.open(QIODevice::Append));
        const int bytes = 1 + int(random() % (Length - 1));
        ASSERT_EQ(file.write(ScanRecord(seq, months).left(bytes)), bytes);
        ++figures_.tornTailsMade;
    }

    // After the last worker ended by itself: every file of the folder holds
    // its header, exactly the records it should, and nothing else.
    void CheckEveryFileWhole(WorkerMonths months) {
        const QStringList names = QDir(d.AppFolder + "/datafiles").entryList(QDir::Files);
        std::set<QString> expectedNames;
        for (const auto& [name, model] : models_)
            if (!model.seqs.empty())
                expectedNames.insert(name);
        EXPECT_EQ(std::set<QString>(names.begin(), names.end()), expectedNames);
        for (const QString& name : names) {
            const QByteArray bytes = ReadBytes(Path(name));
            const std::vector<long long>& seqs = models_[name].seqs;
            ASSERT_EQ(bytes.size(), qsizetype(seqs.size() + 1) * Length) << qPrintable(name);
            EXPECT_EQ(ReadHeaderCount(QString::fromLatin1(bytes.left(Length))), int(seqs.size()))
                << qPrintable(name);
            for (size_t i = 0; i < seqs.size(); ++i) {
                ASSERT_EQ(bytes.mid(qsizetype(i + 1) * Length, Length), ScanRecord(seqs[i], months))
                    << qPrintable(name) << " data record " << i + 1;
                ++figures_.recordsAtEnd;
            }
        }
    }

    void Report(const char* what) const {
        std::printf("[ figures  ] %s: %d kills, %lld records reported stored, %lld records checked after "
                    "the kills, %lld in %zu files at the end; the record in flight at the kill: %d not "
                    "written, %d written but uncounted, %d counted but unreported; torn tails: %d left by "
                    "kills, %d simulated; %d kills on a month's first record\n",
                    what, figures_.kills, figures_.recordsStored, figures_.recordsChecked,
                    figures_.recordsAtEnd, models_.size(), figures_.inFlightLost, figures_.inFlightUncounted,
                    figures_.inFlightCounted, figures_.tornTails, figures_.tornTailsMade,
                    figures_.killsAtMonthChange);
    }

    std::map<QString, FileModel> models_;
    Figures figures_;
};

TEST_F(CrashSafeStorage, KilledWhileStoringIntoOneMonthsFile) {
    KillRepeatedly(WorkerMonths::One, 400 / KillDivisor, 20080305);
    Report("one month");
    EXPECT_EQ(figures_.kills, 400 / KillDivisor);
    EXPECT_GT(figures_.tornTailsMade, 0);
}

TEST_F(CrashSafeStorage, KilledWhileTheMonthChanges) {
    KillRepeatedly(WorkerMonths::Change, 200 / KillDivisor, 20090101);
    Report("month changes");
    EXPECT_EQ(figures_.kills, 200 / KillDivisor);
    // A new file every five records: a fifth of the kills hit a month's
    // first record, so many land while a new file is being started.
    EXPECT_GT(figures_.killsAtMonthChange, 0);
}

} // namespace

#endif
