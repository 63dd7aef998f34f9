// Stores records, events and a channel set-up for scripts/plant-check.sh with
// the logger's own writers:
//   tarvek-plant-store FOLDER FROM COUNT [PAUSE_MS]
//   tarvek-plant-store FOLDER --setup
//   tarvek-plant-store FOLDER --event KIND CHANNEL EVENT [VALUE [LIMIT [TEXT]]]
// Records: COUNT records every 30 s from the UTC time FROM
// (YYYY-MM-DDTHH:MM:SSZ), stamped with the wall-clock time of the zone in TZ,
// so that a clock change inside the run repeats an hour of stamps as the
// logger would. Between two stores it waits PAUSE_MS (default 0). For each
// record it prints, once the record is synced, what a historian must end up
// holding: the UTC time, the file, then channels 1 to 8 as JSON numbers or
// null for a gap. The values follow from the record's time alone.
// --setup installs the default set-up in FOLDER and gives the channels the
// descriptions, units, limits and active flags a plant shows (channel 7 with a
// minimum not below its maximum, channel 8 inactive).
// --event appends one event to the month's event log, stamped with the wall
// clock now (CHANNEL 0 for the logger's own), and prints its UTC time once
// it is synced.
#include "common/Folders.h"
#include "config/DefaultSetup.h"
#include "config/SettingFiles.h"
#include "config/SettingRecords.h"
#include "data/ElaborationData.h"
#include "data/EventLog.h"
#include "data/MonthFiles.h"
#include "data/StoringData.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QThread>
#include <QTimeZone>

#include <cmath>
#include <cstdio>

using namespace tarvek;

namespace {

// Every value text the logger can store, gaps of both kinds among them.
QString Reading(qint64 n, int k) {
    if ((n + k) % 97 == 0)
        return NoDataText;
    if ((n + 3 * k) % 211 == 0)
        return InvalidValueText;
    return ValueText(std::round(20000 * k * std::sin(double(n) / (40.0 * k))) / 1000.0);
}

// The stored digits as a JSON number, as the publisher sends them.
QByteArray Json(const QString& text) {
    if (text == NoDataText || text == InvalidValueText)
        return "null";
    QByteArray digits = text.trimmed().toLatin1();
    return digits.startsWith('+') ? digits.mid(1) : digits;
}

QByteArray UtcText(qint64 utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
        .toLatin1();
}

int StoreRecords(const QString& folder, const QDateTime& from, qint64 count, int pause) {
    Declarations d;
    d.AppFolder = folder;
    QDir().mkpath(d.AppFolder + QStringLiteral("/datafiles"));
    for (qint64 n = 0; n < count; ++n) {
        const qint64 utcMs = from.toMSecsSinceEpoch() + n * 30000;
        const QDateTime wall = QDateTime::fromMSecsSinceEpoch(utcMs);
        d.ScanDate = wall.toString(QStringLiteral("dd-MM-yyyy"));
        d.ScanTime = wall.toString(QStringLiteral("HH:mm:ss"));
        QByteArray line = UtcText(utcMs) + ';' + DataFileName(d.ScanDate).toLatin1();
        for (int k = 1; k <= Declarations::ChannelCount; ++k) {
            d.ChannelValue[k] = Reading(utcMs / 30000, k);
            line += ';' + Json(d.ChannelValue[k]);
        }
        if (!StoreDataRecord(d))
            return 1;
        std::printf("%s\n", line.constData());
        std::fflush(stdout);
        if (pause > 0)
            QThread::msleep(pause);
    }
    return 0;
}

int WriteSetUp(const QString& folder) {
    struct Channel {
        const char *description, *unit, *active, *minimum, *maximum;
    };
    static const Channel channels[] = {
        {"Boiler pressure", "bar", "1", "-15", "15"},
        {"Feed water flow", "m3/h", "1", "-30", "30"},
        {"Drum level", "mm", "1", "", ""},
        {"Steam flow", "t/h", "1", "0", "70"},
        {"Flue gas O2", "%", "1", "-90", "90"},
        {"Stack temperature", "C", "1", "-100", ""},
        {"Fan current", "A", "1", "10", "5"},
        {"Spare input", "V", "0", "", ""},
    };
    if (const FileOutcome installed = InstallDefaultSetup(folder); !installed) {
        std::fprintf(stderr, "tarvek-plant-store: %s\n", qPrintable(installed.message));
        return 1;
    }
    std::vector<int> records;
    for (int c = 1; c <= ChannelCount; ++c)
        records.push_back(c + ChannelRecordOffset);
    const FileOutcome written =
        RewriteSettingRecords(folder, ChannelParametersFile, records, [](int record, const QString& old) {
            const Channel& c = channels[record - ChannelRecordOffset - 1];
            QString r = WithChannelField(old, Description, QString::fromLatin1(c.description));
            r = WithChannelField(r, Unit, QString::fromLatin1(c.unit));
            r = WithChannelField(r, Active, QString::fromLatin1(c.active));
            r = WithChannelField(r, AlarmMin, QString::fromLatin1(c.minimum));
            return WithChannelField(r, AlarmMax, QString::fromLatin1(c.maximum));
        });
    if (!written) {
        std::fprintf(stderr, "tarvek-plant-store: %s\n", qPrintable(written.message));
        return 1;
    }
    return 0;
}

int AppendEvent(const QString& folder, const QStringList& args) {
    const QDateTime now = QDateTime::currentDateTime();
    Event e;
    e.date = now.toString(QStringLiteral("dd-MM-yyyy"));
    e.time = now.toString(QStringLiteral("HH:mm:ss"));
    e.kind = args[0];
    e.channel = args[1].toInt();
    e.name = args[2];
    e.value = args.value(3);
    e.limit = args.value(4);
    e.text = args.value(5);
    e.user = RealUserName();
    const QString data = folder + QStringLiteral("/datafiles");
    QDir().mkpath(data);
    if (const FileOutcome appended = AppendEvents(data + u'/' + EventFileName(e.date), {e}); !appended) {
        std::fprintf(stderr, "tarvek-plant-store: %s\n", qPrintable(appended.message));
        return 1;
    }
    std::printf("%s\n", UtcText(now.toMSecsSinceEpoch()).constData());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[2] == QStringLiteral("--setup"))
        return WriteSetUp(args[1]);
    if (args.size() >= 6 && args.size() <= 9 && args[2] == QStringLiteral("--event"))
        return AppendEvent(args[1], args.mid(3));
    const QDateTime from = args.size() >= 4 ? QDateTime::fromString(args[2], Qt::ISODate) : QDateTime();
    if ((args.size() != 4 && args.size() != 5) || !from.isValid()) {
        std::fprintf(stderr,
                     "usage: tarvek-plant-store FOLDER FROM COUNT [PAUSE_MS]\n"
                     "       tarvek-plant-store FOLDER --setup\n"
                     "       tarvek-plant-store FOLDER --event KIND CHANNEL EVENT [VALUE [LIMIT [TEXT]]]\n");
        return 2;
    }
    return StoreRecords(args[1], from, args[3].toLongLong(), args.size() == 5 ? args[4].toInt() : 0);
}
