// Figures of the acquisition, printed for a person to read:
//
//   tarvek-bench live FOLDER SECONDS [INSTRUMENT_LOG]
//       the real window (offscreen), serial port service and system clock
//       against a simulated instrument already serving line 1 of FOLDER:
//       CPU used, how late each select byte leaves after its quarter-minute
//       mark, and the exchange's duration beyond the instrument's own time
//       (its pacing and reaction, read from its --verbose log when given;
//       otherwise the pacing of its bytes at 2400 bit/s).
//   tarvek-bench month FOLDER
//       a month of scans on a fake clock with an instrument that answers at
//       once: run time, resident memory as it goes, and the month's file
//       checked record by record.
//   tarvek-bench stores FOLDER COUNT
//       what one store costs (the record, a sync, the count, a sync) on the
//       file system of FOLDER: COUNT stores into one month's file.
//   tarvek-bench events FOLDER COUNT
//       what the alarms of a scan cost on the file system of FOLDER: COUNT
//       scans that each raise or clear an alarm on all eight channels (eight
//       events in one write and a sync), beside COUNT scans that change none.
// live and month run the alarms as the program does, with limits on all
// eight channels; TARVEK_BENCH_NO_ALARMS=1 leaves them out, for comparison.
#include "acquisition/Acquisition.h"
#include "acquisition/DeviceSerialPortService.h"
#include "alarm/AlarmMonitor.h"
#include "common/TextHelpers.h"
#include "config/DefaultSetup.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"
#include "support/FakeClock.h"
#include "ui/FormChannels.h"
#include "ui/MDIForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

using namespace tarvek;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// The alarms as the program runs them, limits on every channel, unless the
// bench is asked to leave them out.
std::unique_ptr<AlarmMonitor> WatchAlarms(Declarations& state, const WallClock& clock,
                                          Acquisition& acquisition) {
    if (qEnvironmentVariableIntValue("TARVEK_BENCH_NO_ALARMS") == 1) {
        std::printf("(alarms left out)\n");
        return nullptr;
    }
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        state.SetUp.ChannelParam[c][Declarations::AlarmMin] = QStringLiteral("-10");
        state.SetUp.ChannelParam[c][Declarations::AlarmMax] = QStringLiteral("10");
    }
    auto alarms = std::make_unique<AlarmMonitor>(state, clock);
    alarms->ProgramStarted();
    acquisition.WatchAlarms(alarms.get());
    return alarms;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The real port service, noting when each select byte leaves and when the
// poll closes the port at the end of its exchange.
class TimedPort final : public DeviceSerialPortService {
  public:
    using DeviceSerialPortService::DeviceSerialPortService;
    qint64 Write(const QByteArray& bytes) override {
        if (bytes == QByteArray(1, '\x80'))
            selectSent.push_back(QDateTime::currentDateTime());
        return DeviceSerialPortService::Write(bytes);
    }
    void Close() override {
        if (IsOpen() && !selectSent.empty())
            closed = QDateTime::currentDateTime();
        DeviceSerialPortService::Close();
    }
    std::vector<QDateTime> selectSent;
    QDateTime closed;
};

// An instrument inside the port: "!" to the select byte, eight readings to
// the command, each delivered through the event loop as a real port would.
class InstantInstrument final : public SerialPortService {
  public:
    bool IsOpen() const override { return open_; }
    void Close() override {
        open_ = false;
        waiting_.clear();
    }
    void SelectPort(int n) override { line_ = n; }
    bool Open() override { return open_ = true; }
    QString ErrorText() const override { return {}; }
    qint64 Write(const QByteArray& bytes) override {
        if (!open_)
            return -1;
        ++counter_;
        if (bytes == QByteArray(1, '\x80'))
            Deliver("!");
        else if (bytes == "K\r")
            Deliver(QStringLiteral("%1+0001000-0000500%2+0000000+0004000+0005000-0006000+0007000\r")
                        .arg(counter_ % 100000, 8, 10, QChar(u'0'))
                        .arg(-(counter_ % 1000), 8, 10, QChar(u'0'))
                        .toLatin1());
        return bytes.size();
    }
    qint64 BytesWaiting() const override { return waiting_.size(); }
    QByteArray Read(qint64 maxBytes) override {
        const QByteArray out = waiting_.left(maxBytes);
        waiting_.remove(0, out.size());
        return out;
    }
    void Discard() override { waiting_.clear(); }

  private:
    void Deliver(const QByteArray& bytes) {
        QMetaObject::invokeMethod(
            this,
            [this, bytes] {
                if (!open_)
                    return;
                waiting_ += bytes;
                emit BytesArrived();
            },
            Qt::QueuedConnection);
    }
    bool open_ = false;
    int line_ = 0;
    long counter_ = 0;
    QByteArray waiting_;
};

// The instrument's own duration of each exchange, in ms, from its log.
std::vector<double> InstrumentExchanges(const QString& logPath) {
    std::vector<double> ms;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return ms;
    static const QRegularExpression line(QStringLiteral("exchange (\\d+) us from the select byte"));
    for (const QByteArray& text : log.readAll().split('\n')) {
        if (const auto match = line.match(QString::fromLatin1(text)); match.hasMatch())
            ms.push_back(match.captured(1).toDouble() / 1000.0);
    }
    return ms;
}

int Live(const QString& folder, int seconds, const QString& instrumentLog) {
    Declarations state;
    state.AppFolder = folder;
    if (!InstallDefaultSetup(folder))
        return 1;
    SystemClock clock;
    MDIForm1 window(state, clock);
    window.Load();
    TimedPort port(folder);
    Acquisition acquisition(state, window, port);
    const auto alarms = WatchAlarms(state, clock, acquisition);
    window.Attach(acquisition);
    window.show();

    // Lateness of each select byte after its quarter-minute mark, and the
    // exchange (select byte to the port's close) beyond the instrument's own
    // pacing of its bytes.
    std::vector<double> late, overhead, exchanges;
    int failed = 0;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, [&] {
        if (port.selectSent.empty())
            return;
        const QDateTime sent = port.selectSent.back();
        QTime mark = sent.time();
        mark = QTime(mark.hour(), mark.minute(), mark.second() / 15 * 15);
        late.push_back(double(QDateTime(sent.date(), mark).msecsTo(sent)));
        if (state.ReplyComplete == 1) {
            // The instrument paces "!", the answer and its carriage return at
            // 2400 bit/s, ten bits a byte.
            const double pacing = (2.0 + double(state.ReplyText.size())) * 10.0 / 2.4;
            exchanges.push_back(double(sent.msecsTo(port.closed)));
            overhead.push_back(exchanges.back() - pacing);
        } else {
            ++failed;
        }
    });

    window.ChannelsForm()->Command3()->click();
    const long rssStart = ResidentKiB();
    const double cpuStart = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = CpuSeconds() - cpuStart;
    if (const std::vector<double> own = InstrumentExchanges(instrumentLog); own.size() == exchanges.size()) {
        for (size_t i = 0; i < own.size(); ++i)
            overhead[i] = exchanges[i] - own[i];
        std::printf("(exchange overhead measured against the instrument's own log)\n");
    }

    std::printf("live run of %d s: %zu scans (%d without an answer)\n", seconds, late.size(), failed);
    std::printf("  CPU: %.3f s = %.3f%% of one core\n", cpu, 100.0 * cpu / seconds);
    std::printf("  select byte after its mark: median %.1f ms, max %.1f ms\n", Median(late),
                late.empty() ? 0.0 : *std::max_element(late.begin(), late.end()));
    if (!overhead.empty())
        std::printf("  exchange beyond the instrument's pacing: median %.1f ms, max %.1f ms\n",
                    Median(overhead), *std::max_element(overhead.begin(), overhead.end()));
    std::printf("  resident memory: %ld KiB after start-up, %ld KiB at the end\n", rssStart, ResidentKiB());
    return 0;
}

// The month's file: header count 89280 and one record per half minute.
bool CheckMonthFile(const QString& path, const QDate& first, int records) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.size() != qint64(records + 1) * DataRecordLength) {
        std::printf("  file size %lld, expected %lld\n", qint64(bytes.size()),
                    qint64(records + 1) * DataRecordLength);
        return false;
    }
    if (bytes.left(DataRecordLength) != DataFileHeader(records).toLatin1()) {
        std::printf("  header differs\n");
        return false;
    }
    QDateTime stamp(first, QTime(0, 0));
    for (int r = 1; r <= records; ++r, stamp = stamp.addSecs(30)) {
        const QByteArray record = bytes.mid(qint64(r) * DataRecordLength, DataRecordLength);
        const QByteArray expected =
            (DateStamp(stamp.date()) + u';' + TimeText(stamp.time()) + u';').toLatin1();
        if (!record.startsWith(expected) || !record.endsWith(" *\r\n") || record.count(';') != 18) {
            std::printf("  record %d differs: %s\n", r, record.constData());
            return false;
        }
    }
    return true;
}

int Month(const QString& folder) {
    Declarations state;
    state.AppFolder = folder;
    if (!InstallDefaultSetup(folder))
        return 1;
    const QDate first(2008, 3, 1);
    FakeClock clock(QDateTime(first, QTime(0, 0)).addSecs(-1));
    MDIForm1 window(state, clock);
    window.Load();
    window.Timer1()->stop(); // the bench moves the clock
    InstantInstrument port;
    Acquisition acquisition(state, window, port);
    const auto alarms = WatchAlarms(state, clock, acquisition);
    window.Attach(acquisition);
    window.ChannelsForm()->Command3()->click();

    bool scanEnded = false;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, [&] { scanEnded = true; });
    QEventLoop loop;
    QObject::connect(&acquisition, &Acquisition::ScanEnded, &loop, &QEventLoop::quit);

    const int scans = first.daysInMonth() * 24 * 60 * 4;
    std::printf("month of %d scans on a fake clock, files in %s\n", scans, qPrintable(folder));
    std::printf("  resident memory after start-up: %ld KiB\n", ResidentKiB());
    QElapsedTimer elapsed;
    elapsed.start();
    const double cpuStart = CpuSeconds();
    QDateTime t(first, QTime(0, 0));
    for (int s = 1; s <= scans; ++s, t = t.addSecs(15)) {
        clock.Set(t);
        scanEnded = false;
        window.ClockTick();
        if (!scanEnded)
            loop.exec();
        if (s % 44640 == 0)
            std::printf("  after %6d scans (%5.1f s): %ld KiB resident\n", s, elapsed.elapsed() / 1000.0,
                        ResidentKiB());
    }
    std::printf("  run time %.1f s, CPU %.1f s\n", elapsed.elapsed() / 1000.0, CpuSeconds() - cpuStart);
    const bool ok = CheckMonthFile(folder + QStringLiteral("/datafiles/03-2008-Data.txt"), first, scans / 2);
    std::printf("  month's file %s\n",
                ok ? "checked: 89280 records, byte layout and stamps as expected" : "WRONG");
    return ok ? 0 : 1;
}

int Stores(const QString& folder, int count) {
    Declarations state;
    state.AppFolder = folder;
    state.ScanDate = QStringLiteral("01-03-2008");
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        state.ChannelValue[k] = ValueText(k * 1.25);
    std::vector<double> ms;
    QElapsedTimer elapsed;
    for (int s = 0; s < count; ++s) {
        state.ScanTime = TimeText(QTime(0, 0).addSecs(30 * s));
        elapsed.start();
        if (!StoreDataRecord(state))
            return 1;
        ms.push_back(double(elapsed.nsecsElapsed()) / 1e6);
    }
    const double total = std::accumulate(ms.begin(), ms.end(), 0.0);
    std::printf("  %d stores in %s: median %.3f ms, mean %.3f ms, max %.3f ms\n", count, qPrintable(folder),
                Median(ms), total / count, *std::max_element(ms.begin(), ms.end()));
    return 0;
}

int Events(const QString& folder, int count) {
    Declarations state;
    state.AppFolder = folder;
    if (!InstallDefaultSetup(folder))
        return 1;
    for (int c = 1; c <= Declarations::ChannelCount; ++c) {
        state.SetUp.ChannelParam[c][Declarations::Active] = QStringLiteral("1");
        state.SetUp.ChannelParam[c][Declarations::AlarmMax] = QStringLiteral("10");
    }
    FakeClock clock(QDateTime(QDate(2008, 3, 1), QTime(0, 0)));
    AlarmMonitor alarms(state, clock);
    alarms.ProgramStarted();
    state.ScanDate = QStringLiteral("01-03-2008");
    state.ReplyComplete = 1;
    const auto run = [&](const char* what, bool change) {
        std::vector<double> ms;
        QElapsedTimer elapsed;
        for (int s = 0; s < count; ++s) {
            state.ScanTime = TimeText(QTime(0, 0).addSecs(15 * s));
            // Above the maximum, then back inside: eight raised, then eight cleared.
            state.ChannelValue.fill(ValueText(change && s % 2 == 0 ? 11 : 5));
            elapsed.start();
            alarms.ScanEnded(std::nullopt);
            ms.push_back(double(elapsed.nsecsElapsed()) / 1e6);
        }
        std::printf("  %d scans %s: median %.3f ms, max %.3f ms\n", count, what, Median(ms),
                    *std::max_element(ms.begin(), ms.end()));
    };
    run("changing no alarm", false);
    run("writing eight events each", true);
    const qint64 size = QFileInfo(folder + QStringLiteral("/datafiles/03-2008-Events.txt")).size();
    std::printf("  event log: %lld records\n", size / 160);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if ((args.size() == 4 || args.size() == 5) && args[1] == u"live")
        return Live(args[2], args[3].toInt(), args.value(4));
    if (args.size() == 3 && args[1] == u"month")
        return Month(args[2]);
    if (args.size() == 4 && args[1] == u"stores" && args[3].toInt() > 0)
        return Stores(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == u"events" && args[3].toInt() > 0)
        return Events(args[2], args[3].toInt());
    std::fprintf(
        stderr,
        "usage: tarvek-bench live FOLDER SECONDS [INSTRUMENT_LOG] | month FOLDER | stores FOLDER COUNT |\n"
        "                   events FOLDER COUNT\n");
    return 2;
}
