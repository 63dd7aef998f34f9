// The sealer's and tarvek-verify's figures, printed for a person to read:
//
//   tarvek-seal-bench FOLDER
//       writes a month of 89,280 data records (one every 30 s) and 290
//       events into FOLDER/datafiles in the logger's layouts, seals it with
//       the sealer's rules look by look as the records come (a line every
//       5 minutes and at every event, some 9,000 lines), then measures: the
//       rules per record and per line (in memory), one store sealed by the
//       service on FOLDER's disk (the look at the whole month, the sealed
//       copy and its syncs) and one line written with its sync, tarvek-verify's
//       check of the month against its goal of 1 s, and the disk a month takes.
#include "data/EventRecord.h"
#include "data/StoredTime.h"
#include "data/StoringData.h"
#include "seal/SealChain.h"
#include "seal/SealService.h"
#include "seal/VerifyFolder.h"

#include "BestMs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <map>
#include <thread>

using namespace tarvek;

namespace {

constexpr int Dec2026 = 2026 * 12 + 11;
const qint64 MonthStart = *ParseStoredTime("2026-12-01T00:00:00");

QByteArray DataRecordAt(qint64 n) {
    Declarations d;
    const QByteArray when = StoredTimeText(MonthStart + n * 30'000);
    d.ScanDate = QString::fromLatin1(when.mid(8, 2) + '-' + when.mid(5, 2) + '-' + when.left(4));
    d.ScanTime = QString::fromLatin1(when.mid(11));
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = QString::number(n % 1000 + k, 'f', 3).prepend(u'+').rightJustified(ValueWidth);
    return BuildDataRecord(d).toLatin1();
}

QByteArray EventAt(qint64 n) {
    const QByteArray when = StoredTimeText(MonthStart + n * 30'000);
    return BuildEventRecord({QString::fromLatin1(when.mid(8, 2) + '-' + when.mid(5, 2) + '-' + when.left(4)),
                             QString::fromLatin1(when.mid(11)), "HIGH", 1, "RAISED", "  +10.700", "10.0",
                             "op1", "Boiler"})
        .toLatin1();
}

SealTime At(qint64 utcMs) {
    return {utcMs, 0, "UTC", QByteArray(32, 'a'), utcMs - MonthStart + 1000, true, 1000};
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path)), std::exit(1);
}

// The month sealed as it came, the sealer's answers kept in memory and
// written at the end. It looks at the data file once an hour (the service
// looks every second: a whole month compared 89,280 times would take the
// bench minutes), so records may be an hour old when first seen.
void SealMonth(const QString& folder, qint64 records, int events) {
    QByteArray data, log;
    std::map<std::pair<MonthFileKind, int>, QByteArray> sealed;
    QByteArray seals;
    Sealer::Rules rules;
    rules.zone = QTimeZone::utc();
    rules.backdatedMs = 2 * 3600'000;
    Sealer sealer(std::make_unique<SealKey>(SealKey::Generate()), Dec2026, {}, rules);
    const auto apply = [&] {
        for (const SealAction& a : sealer.TakeActions()) {
            if (a.kind == SealAction::Kind::AppendSealed)
                sealed[{a.file, a.month}] += a.bytes;
            if (a.kind == SealAction::Kind::WriteLine && a.month == Dec2026)
                seals += a.bytes;
        }
    };
    sealer.Start(At(MonthStart));
    sealer.CaughtUp();
    for (qint64 n = 0; n < records; ++n) {
        const qint64 now = MonthStart + n * 30'000 + 500;
        data += DataRecordAt(n);
        if (n % 120 == 119 || n + 1 == records)
            sealer.Seen({MonthFileKind::Data, Dec2026, true, false, data},
                        sealed[{MonthFileKind::Data, Dec2026}], At(now));
        if (n % (records / events) == 0 && log.size() / 160 < events) {
            log += EventAt(n);
            sealer.Seen({MonthFileKind::Events, Dec2026, true, false, log},
                        sealed[{MonthFileKind::Events, Dec2026}], At(now));
        }
        sealer.Tick(At(now));
        apply();
    }
    sealer.Stop(At(MonthStart + records * 30'000 - 1000)); // still December: no new key
    apply();
    QDir().mkpath(folder + "/datafiles");
    QDir().mkpath(folder + "/seals");
    Write(folder + "/datafiles/12-2026-Data.txt", DataFileHeader(int(records)).toLatin1() + data);
    Write(folder + "/datafiles/12-2026-Events.txt", log);
    Write(folder + "/seals/12-2026-Data.sealed",
          DataFileHeader(int(records)).toLatin1() + sealed[{MonthFileKind::Data, Dec2026}]);
    Write(folder + "/seals/12-2026-Events.sealed", sealed[{MonthFileKind::Events, Dec2026}]);
    Write(folder + "/seals/12-2026-Seal.txt", seals);
    QDir().mkpath(folder + "/keys");
    QFile::setPermissions(folder + "/keys",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    Write(folder + "/keys/current.key", "TARVEK-SEAL-KEY-1 12-2026 " + sealer.Key().Seed().toBase64() + '\n');
    QFile::setPermissions(folder + "/keys/current.key", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Write(folder + "/seals/keys.txt",
          "key " + KeyId(sealer.Key().Public()) + " for 12-2026 made 2026-12-01T00:00:00Z\nfingerprint " +
              Fingerprint(sealer.Key().Public()) + '\n' + PublicKeyPem(sealer.Key().Public()));
}

// The rules' part of sealing one more record at the month's end: the look
// at the whole month against its sealed copy, in memory.
double LookMs(const QString& folder) {
    QFile data(folder + "/datafiles/12-2026-Data.txt"), copy(folder + "/seals/12-2026-Data.sealed");
    if (!data.open(QIODevice::ReadOnly) || !copy.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray sealed = copy.readAll().mid(160), now = data.readAll().mid(160) + DataRecordAt(89'280);
    Sealer sealer(std::make_unique<SealKey>(SealKey::Generate()), Dec2026, {});
    return BestMs(5, [&] {
        sealer.Seen({MonthFileKind::Data, Dec2026, true, false, now}, sealed, At(MonthStart));
    });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvek-seal-bench FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir(folder).removeRecursively();
    constexpr qint64 Records = 89'280,
                     Stored = 20; // the last ones stored by the logger, sealed by the service
    SealMonth(folder, Records - Stored, 290);
    const qint64 lines = QFileInfo(folder + "/seals/12-2026-Seal.txt").size() / SealLineLength;
    std::printf(
        "a record sealed by the rules at the month's end %7.1f ms (its look at the whole month, in memory)\n",
        LookMs(folder));
    const SealKey key = SealKey::Generate();
    SealLine line;
    const double sign = BestMs(3, [&] {
        for (int i = 0; i < 1000; ++i)
            FormatLine(line, key);
    });
    std::printf("a line formatted and signed                   %9.1f us\n", sign);

    qint64 utc = MonthStart + (Records - Stored) * 30'000 - 500;
    SealService service({folder + "/datafiles", folder + "/seals", folder + "/keys"},
                        [&] { return At(utc); });
    if (!service.Start())
        return std::fprintf(stderr, "%s\n", qPrintable(service.Error())), 1;
    Declarations d;
    d.AppFolder = folder;
    double store = 0, look = 1e300;
    bool stepped = true;
    for (int i = 0; i < Stored; ++i) {
        const QByteArray record = DataRecordAt(Records - Stored + i);
        d.ScanDate = QString::fromLatin1(record.left(10));
        d.ScanTime = QString::fromLatin1(record.mid(11, 8));
        d.ChannelValue.fill("   +1.000");
        QElapsedTimer t;
        t.start();
        StoreDataRecord(d);
        store += double(t.nsecsElapsed()) / 1e6 / Stored;
        utc += 30'000;
        look = std::min(look, BestMs(1, [&] { stepped = stepped && service.Step(); }));
    }
    utc = MonthStart + Records * 30'000 - 1000;
    const double periodic = BestMs(1, [&] { stepped = stepped && service.Step() && service.Stop(); });
    if (!stepped)
        return std::fprintf(stderr, "%s\n", qPrintable(service.Error())), 1;
    std::printf(
        "a store sealed by the service on this disk    %9.1f ms (the logger's store itself: %.1f ms)\n", look,
        store);
    std::printf("a line written with its sync (and the Stop)    %9.1f ms\n", periodic);
    const FolderReport intact = VerifyFolder({folder + "/datafiles",
                                              folder + "/seals",
                                              std::nullopt,
                                              std::nullopt,
                                              {},
                                              MonthStart + Records * 30'000,
                                              QTimeZone::utc()});
    timespec cpu0{}, cpu1{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    const double verify = BestMs(3, [&] {
        VerifyFolder({folder + "/datafiles",
                      folder + "/seals",
                      std::nullopt,
                      std::nullopt,
                      {},
                      MonthStart + Records * 30'000,
                      QTimeZone::utc()});
    });
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpu = ((cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6) / 3;
    double load = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r"))
        load = std::fscanf(f, "%lf", &load) == 1 ? load : 0, std::fclose(f);
    std::printf(
        "tarvek-verify of the month (%lld records, %lld lines) %7.1f ms (goal at most 1000 ms; exit %d)\n"
        "  CPU %.1f ms over %u threads, the machine's load %.1f on %u cores\n",
        Records, lines, verify, ExitCodeOf(intact), cpu, std::thread::hardware_concurrency(), load,
        std::thread::hardware_concurrency());

    qint64 disk = 0;
    for (const QString& name : QDir(folder + "/seals").entryList(QDir::Files))
        disk += QFileInfo(folder + "/seals/" + name).size();
    std::printf("disk per month: seals folder %.1f MB (data file %.1f MB)\n", disk / 1e6,
                QFileInfo(folder + "/datafiles/12-2026-Data.txt").size() / 1e6);
    return 0;
}
