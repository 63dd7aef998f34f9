// Stores records for scripts/plant-check.sh with the logger's own writer:
//   tarvek-plant-store FOLDER FROM COUNT [PAUSE_MS]
// COUNT records every 30 s from the UTC time FROM (YYYY-MM-DDTHH:MM:SSZ),
// stamped with the wall-clock time of the zone in TZ, so that a clock change
// inside the run repeats an hour of stamps as the logger would. Between two
// stores it waits PAUSE_MS (default 0). For each record it prints what a
// historian must end up holding: the UTC time, the file, then channels 1 to 8
// as JSON numbers or null for a gap.
#include "data/ElaborationData.h"
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QDateTime from = args.size() >= 4 ? QDateTime::fromString(args[2], Qt::ISODate) : QDateTime();
    if ((args.size() != 4 && args.size() != 5) || !from.isValid()) {
        std::fprintf(stderr, "usage: tarvek-plant-store FOLDER FROM COUNT [PAUSE_MS]\n");
        return 2;
    }
    const qint64 count = args[3].toLongLong();
    const int pause = args.size() == 5 ? args[4].toInt() : 0;
    Declarations d;
    d.AppFolder = args[1];
    QDir().mkpath(d.AppFolder + QStringLiteral("/datafiles"));
    for (qint64 n = 0; n < count; ++n) {
        const qint64 utcMs = from.toMSecsSinceEpoch() + n * 30000;
        const QDateTime wall = QDateTime::fromMSecsSinceEpoch(utcMs);
        d.ScanDate = wall.toString(QStringLiteral("dd-MM-yyyy"));
        d.ScanTime = wall.toString(QStringLiteral("HH:mm:ss"));
        QByteArray line = QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc())
                              .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"))
                              .toLatin1();
        line += ';' + DataFileName(d.ScanDate).toLatin1();
        for (int k = 1; k <= Declarations::ChannelCount; ++k) {
            d.ChannelValue[k] = Reading(n, k);
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
