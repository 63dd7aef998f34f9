// A store cut off at any moment, by a kill or by a power cut: every data file
// then holds whole records in their places and a count that never names a
// missing record; of the records reported stored, only the one in flight may
// still lack its count. The test binary itself is the storing worker.
#include "acquisition/AcquisitionStatus.h"
#include "common/TextHelpers.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

constexpr int Length = DataRecordLength;

// Scan `seq` (from 0): a new month every five scans, its number in every value.
void StampScan(Declarations& d, long long seq) {
    const int month = int(seq / 5);
    d.ScanDate = DateStamp(QDate(2000 + month / 12, 1 + month % 12, 1 + int(seq % 5)));
    d.ScanTime = TimeText(QTime(0, 0).addSecs(int(seq % 86400)));
    d.ChannelValue.fill(QString::number(seq).rightJustified(ValueWidth, u' '));
}

// The records of scans first .. first + n - 1.
QByteArray Records(long long first, long long n) {
    QByteArray bytes;
    for (Declarations d; n-- > 0;) {
        StampScan(d, first++);
        bytes += BuildDataRecord(d).toLatin1();
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
    const std::optional<int> count = ReadHeaderCount(QString::fromLatin1(file.left(Length)));
    const int counted = count.value_or(0);
    if (kept)
        *kept = count ? counted : file.size() >= 2 * Length;
    const QByteArray expected =
        (count ? DataFileHeader(counted).toLatin1() : Record("", Length)) + Records(first, counted + 1);
    if (counted < reported || counted > reported + 1 || (count && file.size() < Length * (counted + 1)))
        return ::testing::AssertionFailure() << "counts " << counted << " records in " << file.size()
                                             << " bytes, " << reported << " reported";
    if (!expected.startsWith(file))
        return ::testing::AssertionFailure()
               << "differs from the stored records at byte "
               << std::mismatch(file.begin(), file.end(), expected.begin()).first - file.begin();
    return ::testing::AssertionSuccess();
}

QStringList Worker(const QString& folder, long long first, int count = -1) {
    return {QCoreApplication::applicationFilePath(), "--store-worker", folder, QString::number(first),
            QString::number(count)};
}

// Runs `command` to its end; gives its exit code, -1 when it crashed.
int RunToEnd(const QStringList& command) {
    QProcess process;
    process.start(command.front(), command.mid(1));
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                                          : -1;
}

class CrashSafeStorage : public AppFolderTest {};

// Kills workers at random moments, each going on where the last left off, and
// checks the file of the scan in flight after every kill; then one worker runs
// to its end. TARVEK_CRASH_KILLS sets the kills (bench/crash.sh: hundreds).
TEST_F(CrashSafeStorage, KilledWhileStoring) {
    const int kills = qEnvironmentVariableIsSet("TARVEK_CRASH_KILLS")
                          ? qEnvironmentVariableIntValue("TARVEK_CRASH_KILLS")
                          : 40;
    std::mt19937 random(20090101);
    long long next = 0; // the first scan of the next worker
    for (int k = 0; k < kills; ++k) {
        const QStringList command = Worker(d.AppFolder, next);
        QProcess worker;
        worker.start(command.front(), command.mid(1));
        ASSERT_TRUE(worker.waitForReadyRead(30000)) << "the worker stored nothing";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        worker.kill();
        ASSERT_TRUE(worker.waitForFinished(30000));
        ASSERT_EQ(worker.exitStatus(), QProcess::CrashExit) << "the worker ended before it was killed";
        long long inFlight = next; // the scan being stored at the kill
        for (const QByteArray& line : worker.readAllStandardOutput().split('\n')) // whole lines
            if (!line.isEmpty()) {
                ASSERT_EQ(line.toLongLong(), inFlight++) << "the worker skipped a scan";
            }
        const long long first = inFlight / 5 * 5;
        int kept = 0;
        ASSERT_TRUE(
            StoredAsReported(ReadBytes(DataPath(ScanFile(inFlight))), first, int(inFlight - first), &kept))
            << "after kill " << k << " with scan " << inFlight << " in flight";
        next = first + kept;
    }

    ASSERT_EQ(RunToEnd(Worker(d.AppFolder, next, 10)), 0);
    for (long long first = 0, end = next + 10; first < end; first += 5) {
        const int n = int(std::min<long long>(end - first, 5));
        EXPECT_EQ(ReadBytes(DataPath(ScanFile(first))), DataFileHeader(n).toLatin1() + Records(first, n));
    }
    EXPECT_EQ(QDir(d.AppFolder + "/datafiles").entryList(QDir::Files).size(), (next + 14) / 5);
}

// A file operation of the worker, as strace recorded it.
struct FileOp {
    enum Kind { Create, Write, Truncate, Sync, Report } kind;
    QString path;       // the file or folder it acts on
    qint64 offset = 0;  // Write: where; Truncate: the new size
    QByteArray bytes{}; // Write
};

// The worker's operations on what lies under `folder`, in order, and its
// reports (writes to its stdout). strace -xx -y gives every byte as \xNN and
// each descriptor with its path.
std::vector<FileOp> ReadTrace(const QByteArray& trace, const QString& folder) {
    static const QRegularExpression call(
        QStringLiteral(R"(^(\w+)\((\d*)(?:<([^>]*)>)?(.*)\)\s+= (\d+)(?:<([^>]*)>)?)"));
    const auto bytes = [](QString s) { return QByteArray::fromHex(s.remove(u'"').remove("\\x").toLatin1()); };
    std::vector<FileOp> ops;
    std::map<QString, qint64> at; // the offset in each file opened
    for (const QByteArray& line : trace.split('\n')) {
        const QRegularExpressionMatch m = call.match(QString::fromLatin1(line));
        const QString name = m.captured(1);
        const QStringList args = m.captured(4).split(QStringLiteral(", "));
        if (!m.hasMatch()) // a failed call, or not a call
            continue;
        if (name == "write" && m.captured(2) == "1")
            ops.push_back({FileOp::Report, {}});
        const QString path = QString::fromLocal8Bit(bytes(name == "openat"    ? m.captured(6)
                                                          : name == "mkdir"   ? args[0]
                                                          : name == "mkdirat" ? args[1]
                                                                              : m.captured(3)));
        if (!path.startsWith(folder))
            continue;
        if (name.startsWith("mkdir") ||
            (name == "openat" && args[2].contains("O_CREAT") && !at.contains(path)))
            ops.push_back({FileOp::Create, path});
        const qint64 result = m.captured(5).toLongLong();
        if (name == "openat" || name == "lseek")
            at[path] = name == "lseek" ? result : 0;
        if (name == "write")
            ops.push_back({FileOp::Write, path, (at[path] += result) - result, bytes(args[1]).left(result)});
        if (name == "ftruncate")
            ops.push_back({FileOp::Truncate, path, args[1].toLongLong()});
        if (name == "fsync" || name == "fdatasync")
            ops.push_back({FileOp::Sync, path});
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
// operations the worker makes, the way file-system crash checkers do: what a
// sync covered is on the disk; of the writes since, none, all or any one
// alone. Whenever the worker reports (after saving the set-up and a store),
// all it wrote and every file and folder it made must be on the disk.
TEST_F(CrashSafeStorage, PowerCutAtAnyPointOfAStoreSeries) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty())
        GTEST_SKIP() << "strace not installed (scripts/install-deps.sh installs it)";
    constexpr int Scans = 12; // three months' files
    const QString trace = d.AppFolder + "/trace";
    // LeakSanitizer cannot run under ptrace: the traced worker goes without it.
    const QString asan = "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":detect_leaks=0";
    ASSERT_EQ(RunToEnd(QStringList{strace, "-xx", "-s65536", "-E", asan, "-o", trace, "-y",
                                   "-etrace=openat,mkdir,mkdirat,write,lseek,ftruncate,fsync,fdatasync"} +
                       Worker(d.AppFolder, 0, Scans)),
              0);
    const std::vector<FileOp> ops = ReadTrace(ReadBytes(trace), d.AppFolder);

    struct File {
        QByteArray synced;                  // what the disk holds for sure
        std::vector<const FileOp*> pending; // writes since the last sync
    };
    std::map<QString, File> files;
    std::map<QString, bool> made; // files and folders made, and whether their folder is synced since
    int reported = 0;
    for (size_t k = 0; k <= ops.size(); ++k) {
        for (long long first = 0; first < Scans; first += 5) {
            const auto data = files.find(DataPath(ScanFile(first)));
            if (data == files.end())
                continue;
            const File& file = data->second;
            std::vector<QByteArray> states(file.pending.size() + 2, file.synced);
            for (size_t i = 0; i < file.pending.size(); ++i) {
                Apply(states[1], *file.pending[i]);
                Apply(states[i + 2], *file.pending[i]);
            }
            for (size_t w = 0; w < states.size(); ++w)
                ASSERT_TRUE(StoredAsReported(states[w], first, int(std::min<long long>(reported - first, 5))))
                    << qPrintable(data->first) << " after " << k << " of " << ops.size()
                    << " operations, state " << w << " (0: no pending write, 1: all " << file.pending.size()
                    << ", then each alone)";
        }
        if (k == ops.size())
            break;
        const FileOp& op = ops[k];
        if (op.kind == FileOp::Create)
            made[op.path] = false;
        if (op.kind == FileOp::Write || op.kind == FileOp::Truncate)
            files[op.path].pending.push_back(&op);
        if (const auto file = files.find(op.path); op.kind == FileOp::Sync && file != files.end()) {
            for (const FileOp* write : file->second.pending)
                Apply(file->second.synced, *write);
            file->second.pending.clear();
        }
        if (op.kind == FileOp::Sync) {
            for (auto& [entry, synced] : made)
                synced = synced || QFileInfo(entry).path() == op.path;
        }
        if (op.kind == FileOp::Report) {
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
}

} // namespace

// tarvek_tests --store-worker FOLDER FIRST COUNT: stores scans FIRST, FIRST+1,
// ... into the data files under FOLDER through the logger's StoreDataRecord,
// COUNT of them (after saving the set-up, as Save and Start do) or, with a
// COUNT of -1, until killed. After each store it writes the scan's number and
// a line feed to stdout in one write(2), so the reader of the pipe knows which
// records must be in the files. A failure ends it with status 1.
int RunStoreWorker(char** argv) {
    Declarations d;
    d.AppFolder = QString::fromLocal8Bit(argv[2]);
    d.AcquisitionFlag = QStringLiteral("1");
    const long long first = std::atoll(argv[3]), count = std::atoll(argv[4]);
    if (count >= 0 && (!SaveChannelParameters(d, {}, {}) || !SaveGeneralParameters(d, "2", "1") ||
                       !WriteAcquisitionStatus(d)))
        return 1;
    for (long long seq = first; count < 0 || seq < first + count; ++seq) {
        StampScan(d, seq);
        const std::string line = std::to_string(seq) + '\n';
        if (!StoreDataRecord(d) || write(STDOUT_FILENO, line.data(), line.size()) != ssize_t(line.size()))
            return 1;
    }
    return 0;
}
