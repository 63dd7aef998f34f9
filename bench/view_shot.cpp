// A look at tarvek-view by eye:
//
//   tarvek-view-shot FOLDER PNG [TAB]
//       opens the viewer's window (1400 x 900) on FOLDER's data files and
//       event logs, shows the tables' tab TAB (0 statistics, 1 periods, 2
//       alarms; default 2) and saves the whole window to PNG.
//   tarvek-view-shot --write-month FOLDER
//       writes a full month into FOLDER first: March 2025 stored every 30
//       seconds (89,280 records) on eight channels, one set-up inactive, and
//       a few hundred events in the month's log (alarms raised, cleared and
//       acknowledged, Start/Stop, a set-up change), some left standing.
//
// Run under xvfb-run (or offscreen) to see what an operator sees.
#include "config/DefaultSetup.h"
#include "config/SettingRecords.h"
#include "data/ElaborationData.h"
#include "data/EventRecord.h"
#include "data/StoringData.h"
#include "viewer/ui/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>

#include <cmath>
#include <cstdio>

using namespace tarvek;

namespace {

bool WriteWhole(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toLatin1()) == text.toLatin1().size();
}

// Channel k's value at scan n: slow waves, a spike now and then.
double ValueAt(int k, qint64 n) {
    const double base[] = {5, 4, 60, 12, 1, 20, 300, 0};
    const double swing[] = {3.5, 2, 25, 6, 0.5, 5, 120, 0};
    return base[k] + swing[k] * std::sin(double(n) / (700.0 + 90 * k)) + 0.1 * std::sin(double(n) * 0.9);
}

bool WriteMonth(const QString& folder) {
    QDir().mkpath(folder + QStringLiteral("/datafiles"));
    QDir().mkpath(folder + QStringLiteral("/settingfiles"));
    const char* names[] = {"Boiler pressure", "Return pressure", "Water temp.", "Flow",
                           "Level",           "Air temp.",       "Power",       "Spare"};
    const char* units[] = {"bar", "bar", "degC", "m3/h", "m", "degC", "kW", ""};
    const char* lows[] = {"2", "", "40", "", "", "", "", ""};
    const char* highs[] = {"8", "5.5", "80", "17", "", "", "400", ""};
    QStringList setUp = DefaultChannelRecords();
    for (int c = 1; c <= ChannelCount; ++c) {
        ChannelRow fields;
        fields[Description] = names[c - 1], fields[Unit] = units[c - 1], fields[Gain] = "1",
        fields[Zero] = "0";
        fields[Active] = c == ChannelCount ? "0" : "1";
        fields[AlarmMin] = lows[c - 1], fields[AlarmMax] = highs[c - 1];
        setUp[ChannelRecordOffset + c - 1] = ChannelRecord(DefaultChannelName(c), fields);
    }
    if (!WriteWhole(folder + QStringLiteral("/settingfiles/channelsparameters.txt"), setUp.join(QString())))
        return false;

    Declarations state;
    QString data;
    QString events;
    std::array<bool, ChannelCount> raised{};
    const QDateTime start(QDate(2025, 3, 1), QTime(0, 0));
    qint64 n = 0;
    const auto event = [&](const QDateTime& t, const QString& kind, int c, const QString& what,
                           const QString& value = {}, const QString& limit = {}, const QString& user = {}) {
        events += BuildEventRecord({t.toString(QStringLiteral("dd-MM-yyyy")),
                                    t.toString(QStringLiteral("HH:mm:ss")),
                                    kind,
                                    c,
                                    what,
                                    value,
                                    limit,
                                    user,
                                    {}});
    };
    event(start, EventKinds::Acquisition, 0, EventNames::Started);
    for (QDateTime t = start; t.date().month() == 3; t = t.addSecs(30), ++n) {
        state.ScanDate = t.toString(QStringLiteral("dd-MM-yyyy"));
        state.ScanTime = t.toString(QStringLiteral("HH:mm:ss"));
        for (int k = 0; k < ChannelCount; ++k) {
            const double v = ValueAt(k, n) + (k == 3 && n % 2111 == 7 ? 9 : 0);
            state.ChannelValue[k + 1] = n % 7919 == 11 ? QString(NoDataValue) : ValueText(v);
            // A deadband of a twentieth of the limit, as the logger's alarms have.
            const double limit = QString(highs[k]).toDouble();
            const bool high = *highs[k] && (raised[k] ? v > limit * 0.95 : v > limit);
            if (high != raised[k]) {
                event(t, EventKinds::High, k + 1, high ? EventNames::Raised : EventNames::Cleared,
                      state.ChannelValue[k + 1], highs[k]);
                if (high && n % 3 != 0)
                    event(t.addSecs(240), EventKinds::High, k + 1, EventNames::Acknowledged, {}, {},
                          QStringLiteral("anna"));
                raised[k] = high;
            }
        }
        if (n % 20000 == 19999) {
            event(t, EventKinds::Acquisition, 0, EventNames::Stopped);
            event(t.addSecs(10), EventKinds::Acquisition, 0, EventNames::Started);
        }
        if (n == 50000)
            event(t, EventKinds::SetUp, 0, EventNames::Changed);
        data += BuildDataRecord(state);
    }
    // The month's last minutes: the instrument silent, raised below on
    // every channel with a minimum, nobody has acknowledged yet.
    const QDateTime end(QDate(2025, 3, 31), QTime(23, 50));
    event(end, EventKinds::NoAnswer, 0, EventNames::Raised);
    for (int k = 0; k < ChannelCount; ++k)
        if (*lows[k])
            event(end.addSecs(30 * k), EventKinds::Low, k + 1, EventNames::Raised, QString(NoDataValue),
                  lows[k]);
    return WriteWhole(folder + QStringLiteral("/datafiles/03-2025-Data.txt"),
                      DataFileHeader(int(n)) + data) &&
           WriteWhole(folder + QStringLiteral("/datafiles/03-2025-Events.txt"), events);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--write-month")
        return WriteMonth(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarvek-view-shot FOLDER PNG [TAB] | --write-month FOLDER\n");
        return 2;
    }
    ViewerWindow window;
    window.resize(1400, 900);
    window.show();
    window.Open({QString::fromLocal8Bit(argv[1])});
    window.findChild<QTabWidget*>()->setCurrentIndex(argc > 3 ? std::atoi(argv[3]) : 2);
    app.processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
