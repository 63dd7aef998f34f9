// Figures of tarvek-view's alarms, printed for a person to read, each beside
// its floor:
//
//   tarvek-events-bench FOLDER
//       writes a month of 100,000 events (alarms of eight channels raised,
//       cleared and acknowledged, Start/Stop now and then) into
//       FOLDER/datafiles/01-2025-Events.txt with the logger's record layout,
//       then measures (warm cache): reading and folding the month (the
//       current alarms and the stretches on the time line), the alarms tab's
//       first screen of the month's events and a scroll to its end, placing
//       the marks of the whole month on the chart, and a follow step after
//       one more event was appended.
#include "viewer/ui/AlarmPane.h"

#include "BestMs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTableView>

#include <cstdio>

using namespace tarvek;

namespace {

void Figure(const char* what, double value, const char* floorWhat, double floor, double limit) {
    std::printf("%-48s %9.1f ms   (floor: %s %.1f ms; goal at most %.0f ms)\n", what, value, floorWhat, floor,
                limit);
}

Event EventAt(qint64 n) {
    const QDateTime t = QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(n * 26);
    Event e;
    e.date = t.toString(QStringLiteral("dd-MM-yyyy"));
    e.time = t.toString(QStringLiteral("HH:mm:ss"));
    if (n % 500 == 499) {
        e.kind = EventKinds::Acquisition;
        e.name = n % 1000 == 999 ? EventNames::Started : EventNames::Stopped;
        return e;
    }
    e.kind = n % 2 ? EventKinds::High : EventKinds::Low;
    e.channel = int(n / 3 % 8) + 1;
    e.name = QStringList{EventNames::Raised, EventNames::Acknowledged, EventNames::Cleared}[int(n % 3)];
    e.value = QStringLiteral("  +12.000");
    e.limit = QStringLiteral("10");
    if (e.name == EventNames::Acknowledged)
        e.user = QStringLiteral("operator"), e.text = QStringLiteral("seen on the round");
    return e;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvek-events-bench FOLDER\n");
        return 2;
    }
    const QString data = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/datafiles");
    QDir().mkpath(data);
    const QString path = data + QStringLiteral("/01-2025-Events.txt");
    constexpr qint64 count = 100'000;
    {
        QByteArray bytes;
        bytes.reserve(count * EventRecordLength);
        for (qint64 n = 0; n < count; ++n)
            bytes += BuildEventRecord(EventAt(n)).toLatin1();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return 1;
    }
    const double readMs = BestMs(5, [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        volatile qsizetype size = f.readAll().size();
        (void)size;
    });
    EventSource source(QTimeZone::utc());
    const double openMs = BestMs(5, [&] { source.Open(data); });
    std::printf("events read: %zu, skipped %d; alarms standing: %zu; stretches: %zu\n",
                source.Events().size(), source.Skipped(), source.Fold().alarms.size(),
                source.Timeline().stretches.size());
    Figure("reading and folding a month of 100,000 events", openMs, "reading its bytes", readMs, 300);

    ChannelInfos channels;
    const TimeSpan month{*ParseStoredTime("2025-01-01T00:00:00"), *ParseStoredTime("2025-02-01T00:00:00"),
                         TimeSpan::Utc};
    const auto pane = [&](const QString& folder) {
        auto* p = new AlarmPane(&channels, QTimeZone::utc());
        p->resize(1200, 700);
        p->show();
        p->Open(folder);
        p->ShowSpan(month);
        p->grab();
        return p;
    };
    const QString empty = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/empty");
    QDir().mkpath(empty);
    const double emptyMs = BestMs(3, [&] { delete pane(empty); });
    AlarmPane* shown = nullptr;
    const double paneMs = BestMs(3, [&] {
        delete shown;
        shown = pane(data);
    });
    Figure("the alarms tab's first screen of the month", paneMs, "the tab of an empty folder", emptyMs, 500);
    auto* table = shown->findChildren<QTableView*>().back();
    const double scrollMs = BestMs(3, [&] {
        table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
        shown->grab();
        table->verticalScrollBar()->setValue(0);
    });
    Figure("scrolling the month's events to the end", scrollMs, "the tab of an empty folder", emptyMs, 100);

    std::vector<TrendMark> marks;
    const ChartWindow window{month.from, month.to};
    const double marksMs = BestMs(5, [&] {
        marks = MarksIn(source.Events(), source.Timeline(), window, {0, 1100});
        StretchesIn(source.Timeline(), window, {0, 1100});
    });
    std::printf("marks over 1100 pixels: %zu\n", marks.size());
    Figure("placing the month's marks and stretches", marksMs, "reading its bytes", readMs, 20);

    if (!AppendEvents(path, {EventAt(count)}))
        return 1;
    const double followMs = BestMs(1, [&] { source.FollowStep(); });
    Figure("follow step after one event appended", followMs, "reading its bytes", readMs, 50);
    delete shown;
    return 0;
}
