// Figures of tarvek-view, printed for a person to read, each beside its floor:
//
//   tarvek-view-bench FOLDER [MONTHS [PNG]]
//       writes MONTHS (default 12) month files of eight channels every 30
//       seconds into FOLDER/datafiles with the logger's own StoreDataRecord
//       (kept when present) and alarm limits the values cross into
//       FOLDER/settingfiles, then measures on the last full month (warm
//       cache): reading its bytes and parsing it, the first drawing of the
//       month (limits and their periods included) and of the whole span with
//       eight channels, the CSV export of the month, the periods outside
//       limits of the whole span, and the memory the process holds with the
//       month open. PNG: where to save the month's drawing.
//
// Then the follow mode and the memory: the columns' memory per month (of the
// year, and as the process's RSS grows), a follow step that finds nothing
// new in a folder of 50,000 entries, and a follow step appending one record
// stored by the logger while some 4 M records are open (links to January
// stand for the older months).
//
// The drawing runs on whatever QT_QPA_PLATFORM gives (offscreen, or xcb under
// xvfb-run): bench/viewer.sh runs both.
#include "config/SettingRecords.h"
#include "data/ElaborationData.h"
#include "data/StoringData.h"
#include "viewer/CsvExport.h"
#include "viewer/TableText.h"
#include "viewer/TrendSource.h"
#include "viewer/ui/TrendChart.h"

#include "BestMs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

using namespace tarvek;

namespace {

long StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

void Figure(const char* what, double value, const char* unit, const char* floorWhat, double floor,
            double limit) {
    std::printf("%-44s %9.1f %s   (floor: %s %.1f %s; goal at most %.0f %s)\n", what, value, unit, floorWhat,
                floor, unit, limit, unit);
}

// Months of scans every 30 seconds, stored by the logger's writer: slow
// waves, a spike now and then, a failed poll (No Data) every few hours.
void WriteMonths(const QString& folder, int months) {
    Declarations state;
    state.AppFolder = folder;
    QDateTime t(QDate(2025, 1, 1), QTime(0, 0, 0));
    const QDateTime end = t.addMonths(months);
    qint64 n = 0;
    for (; t < end; t = t.addSecs(30), ++n) {
        state.ScanDate = t.toString(QStringLiteral("dd-MM-yyyy"));
        state.ScanTime = t.toString(QStringLiteral("HH:mm:ss"));
        for (int k = 1; k <= Declarations::ChannelCount; ++k) {
            const double wave = 10 * k * std::sin(double(n) / (200.0 * k)) + std::sin(double(n) * 0.7 * k);
            const bool spike = n % 9973 == 17 * k, failed = n % 719 == 3;
            state.ChannelValue[k] = failed ? NoDataText : ValueText(spike ? wave + 500 : wave);
        }
        if (!StoreDataRecord(state))
            std::exit(1);
    }
}

// The follow step's figures (see the top).
void FollowFigures(const QString& folder, const QString& month) {
    // 50,000 entries beside one month file; nothing changes.
    const QString crowd = folder + QStringLiteral("/crowd");
    QDir().mkpath(crowd);
    for (int i = QDir(crowd).entryList(QDir::Files).size(); i < 50'000; ++i)
        QFile(crowd + QStringLiteral("/entry-%1").arg(i)).open(QIODevice::WriteOnly);
    QFile::link(month, crowd + QStringLiteral("/01-2025-Data.txt"));
    TrendSource source;
    source.Open({crowd});
    const double listMs = BestMs(1, [&] { source.FollowStep(); }); // a folder this recent is listed
    QThread::msleep(1200);
    source.FollowStep();
    const double pollMs = BestMs(20, [&] { source.FollowStep(); });
    std::printf("%-44s %9.3f ms   (floor: listing the folder %.1f ms; goal at most 5 ms)\n",
                "follow step, nothing new, 50,000 entries", pollMs, listMs);

    // Some 4 M records: links to January as 45 older months, then the month
    // the logger stores into.
    const QString big = folder + QStringLiteral("/big");
    QDir().mkpath(big + QStringLiteral("/datafiles"));
    for (int m = 0; m < 45; ++m)
        QFile::link(month, big + QStringLiteral("/datafiles/%1-%2-Data.txt")
                                     .arg(m % 12 + 1, 2, 10, QChar(u'0'))
                                     .arg(2001 + m / 12));
    QFile::remove(big + QStringLiteral("/datafiles/01-2030-Data.txt"));
    Declarations d;
    d.AppFolder = big;
    d.ChannelValue.fill(QStringLiteral("   +1.000"));
    QDateTime t(QDate(2030, 1, 1), QTime(0, 0));
    const auto store = [&] {
        d.ScanDate = t.toString(QStringLiteral("dd-MM-yyyy"));
        d.ScanTime = t.toString(QStringLiteral("HH:mm:ss"));
        t = t.addSecs(30);
        if (!StoreDataRecord(d))
            std::exit(1);
    };
    store();
    source.Open({big + QStringLiteral("/datafiles")});
    QThread::msleep(1200);
    source.FollowStep();
    std::vector<double> steps;
    for (int i = 0; i < 200; ++i) {
        store();
        steps.push_back(BestMs(1, [&] { source.FollowStep(); }));
    }
    std::sort(steps.begin(), steps.end());
    std::printf("follow with %lld records open: %lld MB RSS\n", source.Data().Size(),
                qlonglong(StatusKiB("VmRSS:") / 1024));
    std::printf(
        "%-44s %9.3f ms   (median of 200; slowest %.1f ms, the columns doubling; goal at most 5 ms)\n",
        "follow step appending a record, 4 M records", steps[steps.size() / 2], steps.back());
}

// Channel k's limits cut through its wave (amplitude 10 k) at 8 k, in four
// units two by two.
void WriteLimits(const QString& folder) {
    QByteArray bytes = QByteArray(SettingRecordLength - 3, ' ').append("*\r\n").repeated(ChannelRecordOffset);
    for (int k = 1; k <= Declarations::ChannelCount; ++k) {
        Declarations::ChannelRow fields;
        fields[Declarations::Description] = QStringLiteral("Channel number %1 of 8").arg(k);
        fields[Declarations::Unit] = QStringList{"Bar", "mBar", "m", "degC"}[(k - 1) / 2];
        fields[Declarations::AlarmMin] = QString::number(-8 * k);
        fields[Declarations::AlarmMax] = QString::number(8 * k);
        bytes += ChannelRecord(QStringLiteral("Ch.%1").arg(k), fields).toLatin1();
    }
    QDir().mkpath(folder + QStringLiteral("/settingfiles"));
    QFile file(folder + QStringLiteral("/settingfiles/") + ChannelParametersFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvek-view-bench FOLDER [MONTHS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int months = argc > 2 ? std::atoi(argv[2]) : 12;
    const QString data = folder + QStringLiteral("/datafiles");
    WriteLimits(folder);
    if (QDir(data).entryList(QDir::Files).size() < months) {
        QElapsedTimer timer;
        timer.start();
        WriteMonths(folder, months);
        std::printf("wrote %d month files with StoreDataRecord in %.1f s\n", months,
                    timer.elapsed() / 1000.0);
    }
    QStringList files = QDir(data).entryList(QDir::Files, QDir::Name);
    // The full month with 31 days: January.
    const QString month = data + QStringLiteral("/01-2025-Data.txt");
    const long rssBefore = StatusKiB("VmRSS:");
    std::printf("platform %s; month file %s: %lld bytes\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(month), QFile(month).size());

    const double readMs = BestMs(5, [&] {
        QFile f(month);
        f.open(QIODevice::ReadOnly);
        volatile qsizetype size = f.readAll().size();
        (void)size;
    });
    TrendSource source;
    const double parseMs = BestMs(5, [&] { source.Open({month}); });
    std::printf("records read: %lld, skipped: %lld\n", source.Data().Size(), source.Tally().Skipped());
    Figure("reading and parsing the month", parseMs, "ms", "reading its bytes", readMs, 100);

    std::vector<int> all(Declarations::ChannelCount);
    std::iota(all.begin(), all.end(), 0);
    const TimeSpan everything{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    const QString csv = folder + QStringLiteral("/month.csv");
    QString error;
    const double csvMs =
        BestMs(5, [&] { ExportCsv(csv, source.Data(), source.Channels(), all, everything, &error); });
    const QByteArray csvBytes = [&] {
        QFile f(csv);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const double writeMs = BestMs(5, [&] {
        QFile f(folder + QStringLiteral("/plain.bin"));
        f.open(QIODevice::WriteOnly);
        f.write(csvBytes);
    });
    Figure("CSV export of the month", csvMs, "ms", "writing as many bytes", writeMs, 300);

    std::vector<int> shown(ChannelCount);
    std::iota(shown.begin(), shown.end(), 0);
    TrendChart chart;
    chart.resize(1200, 700);
    chart.show();
    QCoreApplication::processEvents();
    Trend empty;
    const auto draw = [&](const Trend& trend) {
        return BestMs(3, [&] {
            chart.SetData(&trend, source.Channels(), shown);
            const qint64 first = trend.Size() ? trend.UtcMs(0) : 0;
            const qint64 last = trend.Size() ? trend.UtcMs(trend.Size() - 1) : 1000;
            chart.ShowSpan(first, last);
            chart.grab();
        });
    };
    const double emptyMs = draw(empty);
    Figure("first drawing of the month, 8 channels, limits", draw(source.Data()), "ms", "an empty chart",
           emptyMs, 200);
    std::printf("periods outside limits in the month: %zu\n", chart.Periods().size());
    if (argc > 3)
        chart.grab().save(QString::fromLocal8Bit(argv[3]));
    const long rssMonth = StatusKiB("VmRSS:");

    TrendSource year;
    const double yearParseMs = BestMs(1, [&] { year.Open({data}); });
    std::printf("whole span: %lld files, %lld records, parsed in %.1f ms\n", qlonglong(year.Files().size()),
                year.Data().Size(), yearParseMs);
    Figure("first drawing of the whole span, 8 channels", draw(year.Data()), "ms", "an empty chart", emptyMs,
           200);
    std::vector<LimitPeriod> periods;
    const double periodsMs =
        BestMs(5, [&] { periods = PeriodsOf(year.Data(), year.Channels(), all, everything); });
    // The floor: one look at every value of the span.
    double sum = 0;
    const double visitMs = BestMs(5, [&] {
        for (int k = 0; k < Declarations::ChannelCount; ++k)
            for (qint64 i = 0; i < year.Data().Size(); ++i)
                sum += year.Data().Value(k, i).Value();
    });
    std::printf("periods outside limits in the whole span: %zu (%g)\n", periods.size(), sum > 0 ? 1.0 : 0.0);
    Figure("periods outside limits, whole span", periodsMs, "ms", "visiting every value", visitMs, 50);
    const long rssYear = StatusKiB("VmRSS:");
    Figure("memory of the columns, the month, 8 channels", double(source.Data().CapacityBytes()) / 1e6, "MB",
           "exact sizes", double(source.Data().Size()) * (8 + 4 + 4 * Declarations::ChannelCount) / 1e6, 4);
    std::printf("%-44s %9.1f MB\n", "RSS growth per month opened (whole span)",
                double(rssYear - rssMonth) / 1024.0 / double(year.Files().size()));
    FollowFigures(folder, month);

    std::printf("%-44s %9.1f MB   (floor: before opening %.1f MB; goal at most 100 MB)\n",
                "memory with the month open and drawn", rssMonth / 1024.0, rssBefore / 1024.0);
    std::printf("%-44s %9.1f MB\n", "peak memory of the run (whole span too)", StatusKiB("VmHWM:") / 1024.0);
    QFile::remove(csv);
    QFile::remove(folder + QStringLiteral("/plain.bin"));
    return 0;
}
