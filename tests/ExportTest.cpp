// The exports: CSV of known files byte for byte, into files and pipes,
// failures that leave nothing half written, and the format by the suffix.
#include "viewer/CsvExport.h"
#include "viewer/ExportFile.h"
#include "viewer/HeadlessExport.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"
#include "support/TrendBuilder.h"

#include <atomic>
#include <csignal>
#include <deque>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvek;

namespace {

// Each writer (data, periods outside limits, events) on a known file, byte
// for byte into a file, a pipe written through and standard output, what was
// left out said once. Control characters leave the names, a text a
// spreadsheet would run is marked as text, values are never touched: "   -0.000" is 0.000 in each.
TEST_F(ViewerFiles, EachCsvOfAKnownFileByteForByte) {
    WriteBytes(DataPath("10-2025-Data.txt"),
               DataHeader("    3") + DataLine("01:59:30", {"  +12.345", "   -0.500", "   -0.000"}) +
                   DataLine("02:00:00", {" No Data ", " ======= ", "-12345.68"}) +
                   DataLine("02:00:30", {"+123456.7", " -1234567", "   +0.000"}));
    WriteBytes(SettingPath("channelsparameters.txt"),
               Record("").repeated(10) + ChannelLine("Inlet, A", "mbar", "-1", "12") +
                   ChannelLine("Outlet \"B\"", "mV", "x") + ChannelLine("\x7f\t-Flo\x1bw\u00a0no", "m"));
    QByteArray log;
    for (const Event& e :
         {EventOf("26-10-2025", "01:59:29", "ACQUISITION", 0, "STARTED"),
          EventOf("26-10-2025", "01:59:30", "HIGH", 1, "RAISED", "   -0.000", "-1.5", "tarvek", "Inlet"),
          EventOf("26-10-2025", "02:00:00", "HIGH", 1, "ACKNOWLEDGED", "", "", "anna", "=1+2"),
          EventOf("26-10-2025", "02:00:00", "NO VALUE", 2, "RAISED", " ======= ", "", "tarvek", ""),
          EventOf("26-10-2025", "02:00:30", "ACQUISITION", 0, "STOPPED")})
        log += BuildEventRecord(e).toLatin1();
    WriteBytes(DataPath("10-2025-Events.txt"), log + "torn");
    const struct {
        const char *option, *to, *csv, *err;
    } rows[] = {
        {"--csv", "02:00:00",
         "time,\"Inlet, A [mbar]\",\"Outlet \"\"B\"\" [mV]\",'-Flow\xc2\xa0no [m],Ch.4 [Bar],Ch.5 [Bar],"
         "Ch.6 [Bar],Ch.7 [Bar],Ch.8 [Bar]\r\n"
         "2025-10-26T01:59:30,12.345,-0.500,0.000,1.000,1.000,1.000,1.000,1.000\r\n"
         "2025-10-26T02:00:00,,,-12345.68,1.000,1.000,1.000,1.000,1.000\r\n",
         ""},
        {"--limits-csv", "02:00:30",
         "channel,from,to,outside,extreme,at,records\r\n\"Inlet, A [mbar]\",2025-10-26T01:59:30,"
         "2025-10-26T01:59:30,above,12.345,2025-10-26T01:59:30,1\r\n\"Inlet, A [mbar]\",2025-10-26T02:00:30,"
         "2025-10-26T02:00:30,above,123456.7,2025-10-26T02:00:30,1\r\n",
         "tarvek-view: Outlet \"B\" [mV]: the alarm minimum \"x\" is not a number; it is not drawn\n"},
        {"--events-csv", "02:00:00",
         "time,kind,channel,event,value,limit,user,text\r\n2025-10-26T01:59:30,HIGH,\"Inlet, A "
         "[mbar]\",RAISED,"
         "0.000,-1.5,tarvek,Inlet\r\n2025-10-26T02:00:00,HIGH,\"Inlet, A "
         "[mbar]\",ACKNOWLEDGED,,,anna,'=1+2\r\n2025-10-26T02:00:00,NO VALUE,\"Outlet \"\"B\"\" "
         "[mV]\",RAISED,,,"
         "tarvek,\r\n",
         "tarvek-view: skipped 1 event records (not whole or no event record)\n"}};
    for (const auto& row : rows) {
        const QString pipe = state.AppFolder + "/pipe" + row.option;
        ASSERT_EQ(::mkfifo(qPrintable(pipe), 0600), 0);
        const int reader = ::open(qPrintable(pipe), O_RDONLY | O_NONBLOCK); // there first; the CSV fits
        const QStringList span{"--from", "2025-10-26T01:59:30", "--to", QString("2025-10-26T") + row.to};
        for (const QString& out : {state.AppFolder + "/out.csv", pipe}) {
            err_.clear();
            ASSERT_EQ(Export(QStringList{row.option, out} + span), 0) << qPrintable(err_);
            EXPECT_EQ(err_, row.err);
        }
        EXPECT_EQ(ReadBytes(state.AppFolder + "/out.csv"), row.csv) << row.option;
        char bytes[4096];
        EXPECT_EQ(QByteArray(bytes, int(std::max<ssize_t>(::read(reader, bytes, sizeof bytes), 0))), row.csv);
        EXPECT_TRUE(::close(reader) == 0 && !QFileInfo(pipe).isFile()) << row.option;
        QProcess view;
        view.start(TARVEK_VIEW, QStringList{row.option, "-", DataPath({}).chopped(1)} + span);
        ASSERT_TRUE(view.waitForFinished(10'000));
        EXPECT_EQ(view.readAllStandardOutput(), row.csv) << view.readAllStandardError().constData();
    }
    const char *shown[] = {"tarvek-view", "--from", "--limits-csvx", "--csv"},
               *written[] = {"x", "--events-csv=-"};
    EXPECT_TRUE(!IsHeadlessExport(3, shown) && IsHeadlessExport(2, written) && !IsHeadlessExport(1, written));
}

// A long export goes out in blocks of a megabyte: a write refused on the way
// (a full disk), of the header or of a block, fails it (what a failed export
// leaves: CsvExportFailure's FileSizeLimit row), and the blocks add up whole.
TEST_F(ViewerFiles, ALongExportRefusedOnTheWayFailsWhole) {
    const Trend trend = BuildTrend("1.000*16000");
    const std::vector<int> shown{0, 1, 2, 3, 4, 5, 6, 7};
    const TimeSpan all{0, trend.UtcMs(trend.Size() - 1)};
    {
        const FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.Active());
        for (const qint64 room : {10, 64 * 1024}) { // the header refused, then a block
            QFile direct(state.AppFolder + "/direct.csv");
            ASSERT_TRUE(direct.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        direct.seek(64 * 1024 - room));
            EXPECT_FALSE(WriteCsv(direct, trend, ChannelInfos{}, shown, all)) << room;
        }
    }
    const QString path = state.AppFolder + "/out.csv";
    QString error;
    ASSERT_TRUE(ExportCsv(path, trend, ChannelInfos{}, shown, all, &error)) << qPrintable(error);
    const QByteArray csv = ReadBytes(path);
    EXPECT_EQ(csv.count("\r\n"), 16'001);
    EXPECT_TRUE(csv.endsWith("\n1970-01-06T13:19:30,1.000" + QByteArray(",0.000").repeated(7) + "\r\n"));
}

struct ExportFailure {
    const char* name;
    const char* arguments; // "@" stands for the application folder
    int exitCode;
    const char* message;
    rlim_t fileSizeLimit = 0; // none when 0
};

class CsvExportFailure : public ViewerFiles, public ::testing::WithParamInterface<ExportFailure> {};

TEST_P(CsvExportFailure, SaysWhyAndLeavesNothingHalfWritten) {
    const ExportFailure& c = GetParam();
    StoreScan("05-03-2008", "10:15:30", "   +1.000", "   +1.000");
    WriteBytes(state.AppFolder + "/out.csv", "an older export");
    QDir().mkpath(state.AppFolder + "/empty");
    QDir().mkpath(state.AppFolder + "/settingfiles");
    ASSERT_TRUE(QFile::link(state.AppFolder + "/out.csv", state.AppFolder + "/link.csv"));
    ASSERT_EQ(::mkfifo(qPrintable(state.AppFolder + "/fifo"), 0600), 0);
    std::optional<FileSizeLimit> limit;
    if (c.fileSizeLimit > 0)
        limit.emplace(c.fileSizeLimit);
    EXPECT_EQ(Export(QString(c.arguments).replace("@", state.AppFolder).split(' ')), c.exitCode);
    limit.reset();
    EXPECT_TRUE(err_.contains(QString(c.message).replace("@", state.AppFolder))) << qPrintable(err_);
    EXPECT_EQ(ReadBytes(state.AppFolder + "/out.csv"), "an older export");
    EXPECT_EQ(QDir(state.AppFolder).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks),
              QStringList{"out.csv"});
}

INSTANTIATE_TEST_SUITE_P(
    Export, CsvExportFailure,
    ::testing::Values(
        ExportFailure{"MissingFile", "--csv @/out.csv @/datafiles/03-2008-Data.txt @/gone.txt", 1,
                      "@/gone.txt: cannot open"},
        ExportFailure{"FolderWithoutDataFiles", "--csv @/out.csv @/empty", 1, "@/empty: holds no data files"},
        ExportFailure{"OutputNotWritable", "--csv @/none/out.csv @/datafiles", 1,
                      "@/none/out.csv: cannot write"},
        ExportFailure{"BadTime", "--csv @/out.csv --from 2008-03-05_10:00 @/datafiles", 2,
                      "--from wants YYYY-MM-DDTHH:MM:SS"},
        ExportFailure{"FromAfterTo",
                      "--csv @/out.csv --from 2008-03-06T00:00:00 --to 2008-03-05T00:00:00 @/datafiles", 2,
                      "is later than --to"},
        ExportFailure{"EmptyOutName", "--csv= @/datafiles", 2, "--csv wants the name"},
        // Never blocked on, never written through, never cut short (the
        // shared folders' readers: SharedFolderReadersTest).
        ExportFailure{"FifoAsMonthFile", "--csv @/out.csv @/fifo", 1,
                      "@/fifo: cannot open (is not a regular file)"},
        ExportFailure{"OutputALink", "--csv @/link.csv @/datafiles", 1,
                      "@/link.csv: cannot write (is a symbolic link"},
        ExportFailure{"FileSizeLimit", "--csv @/out.csv @/datafiles", 1,
                      "@/out.csv: cannot write (File too large)", 100}),
    RowName);

// A name in a folder others can write, swapped between a pipe someone reads
// and a link to another user's file while exports run: the file behind the
// link is never written. A file someone else left there lends no mode.
TEST_F(ViewerFiles, AnExportNeverWritesThroughANameSwappedForALink) {
    const QString out = state.AppFolder + "/report.csv", victim = state.AppFolder + "/bashrc";
    WriteBytes(victim, "the victim's own\n");
    const auto saved = std::signal(SIGPIPE, SIG_IGN); // a pipe whose reader has gone fails a write
    std::atomic<bool> done = false;
    std::thread swapper([&] {
        const QByteArray name = QFile::encodeName(out), target = QFile::encodeName(victim),
                         fifo = name + ".sf", link = name + ".sl";
        std::deque<int> readers;
        for (int i = 0; !done && i < 100'000; ++i) {
            ::mkfifo(fifo.constData(), 0666);
            readers.push_back(::open(fifo.constData(), O_RDONLY | O_NONBLOCK));
            ::rename(fifo.constData(), name.constData());
            (void)!::symlink(target.constData(), link.constData());
            ::rename(link.constData(), name.constData());
            for (; readers.size() > 32; readers.pop_front())
                ::close(readers.front());
        }
        for (const int reader : readers)
            ::close(reader);
    });
    QString error;
    for (int i = 0; i < 3000; ++i)
        WriteExport(
            out, [](QIODevice& device) { return device.write("time,;id>PWNED;\r\n") > 0; }, &error);
    done = true;
    swapper.join();
    std::signal(SIGPIPE, saved);
    EXPECT_EQ(ReadBytes(victim), "the victim's own\n");

    const mode_t umask = ::umask(022);
    for (const uid_t owner : {::geteuid(), uid_t(65534)}) {
        QFile::remove(out);
        WriteBytes(out, "older");
        ASSERT_TRUE(::chown(qPrintable(out), owner, gid_t(-1)) == 0 && ::chmod(qPrintable(out), 06777) == 0);
        ASSERT_TRUE(WriteExport(
            out, [](QIODevice& device) { return device.write("new") == 3; }, &error));
        struct stat written {};
        ::stat(qPrintable(out), &written);
        EXPECT_EQ(written.st_mode & 07777, owner == ::geteuid() ? 06777u : 0644u) << owner;
    }
    ::umask(umask);
}

} // namespace
