// tarvek-publish figures, run by hand through bench/publish.sh:
//   tarvek-publish-bench month FOLDER
//       writes January 2025 (89,280 records every 30 s, eight channels) into
//       FOLDER/datafiles with the logger's record and header texts.
//   tarvek-publish-bench events FOLDER COUNT
//       appends COUNT alarm events (raised, acknowledged, cleared in turn
//       over the eight channels) to FOLDER/datafiles/01-2025-Events.txt with
//       the alarm library's writer, a thousand records per append.
//   tarvek-publish-bench latency|event-latency FOLDER PORT PREFIX COUNT
//       stores COUNT records (or appends COUNT alarm events), one every
//       300 ms, with the logger's own StoreDataRecord (AppendEvents), and
//       prints, for each, the time from the store's return (its final sync)
//       to its arrival at a subscriber of PREFIX/record (PREFIX/event) on
//       127.0.0.1:PORT; then the median and the maximum.
#include "data/ElaborationData.h"
#include "data/EventLog.h"
#include "data/StoringData.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace tarvek;

namespace {

using Clock = std::chrono::steady_clock;

void Fill(Declarations& d, const QDateTime& t, qint64 n) {
    d.ScanDate = t.toString(QStringLiteral("dd-MM-yyyy"));
    d.ScanTime = t.toString(QStringLiteral("HH:mm:ss"));
    for (int k = 1; k <= Declarations::ChannelCount; ++k)
        d.ChannelValue[k] = n % 719 == 3 ? NoDataText : ValueText(10 * k * std::sin(double(n) / (200.0 * k)));
}

int WriteMonth(const QString& folder) {
    Declarations d;
    QDir().mkpath(folder + QStringLiteral("/datafiles"));
    QFile file(folder + QStringLiteral("/datafiles/01-2025-Data.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    constexpr int Records = 31 * 2880;
    file.write(DataFileHeader(Records).toLatin1());
    QDateTime t(QDate(2025, 1, 1), QTime(0, 0, 0));
    for (qint64 n = 0; n < Records; ++n, t = t.addSecs(30)) {
        Fill(d, t, n);
        file.write(BuildDataRecord(d).toLatin1());
    }
    return file.flush() ? 0 : 1;
}

int WriteEvents(const QString& folder, int count) {
    QDir().mkpath(folder + QStringLiteral("/datafiles"));
    const QString path = folder + QStringLiteral("/datafiles/01-2025-Events.txt");
    const QString names[] = {EventNames::Raised, EventNames::Acknowledged, EventNames::Cleared};
    QDateTime t(QDate(2025, 1, 1), QTime(0, 0, 0));
    std::vector<Event> events;
    for (int n = 0; n < count; ++n, t = t.addSecs(260)) {
        events.push_back({t.toString(QStringLiteral("dd-MM-yyyy")), t.toString(QStringLiteral("HH:mm:ss")),
                          EventKinds::High, n / 3 % 8 + 1, names[n % 3], ValueText(10.5 + n % 7), "10.0",
                          n % 3 == 1 ? "op1" : "", QStringLiteral("Boiler pressure")});
        if (events.size() == 1000 || n + 1 == count) {
            if (!AppendEvents(path, events))
                return 1;
            events.clear();
        }
    }
    return 0;
}

struct Receipts {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<std::pair<QByteArray, Clock::time_point>> seen; // the record's time text
};

void OnMessage(mosquitto*, void* data, const mosquitto_message* m) {
    const auto now = Clock::now();
    auto* r = static_cast<Receipts*>(data);
    const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
    const qsizetype at = payload.indexOf("\"time\":\"");
    std::lock_guard lock(r->lock);
    r->seen.emplace_back(payload.mid(at + 8, 19), now);
    r->arrived.notify_all();
}

int Latency(const QString& folder, int port, const QByteArray& prefix, int count, bool events) {
    mosquitto_lib_init();
    Receipts receipts;
    mosquitto* sub = mosquitto_new(nullptr, true, &receipts);
    mosquitto_message_callback_set(sub, OnMessage);
    if (mosquitto_connect(sub, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_subscribe(sub, nullptr, (prefix + (events ? "/event" : "/record")).constData(), 1) !=
            MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(sub) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "cannot subscribe at 127.0.0.1:%d\n", port);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    Declarations d;
    d.AppFolder = folder;
    std::vector<double> ms, fromCall;
    QDateTime t(QDate(2025, 2, 1), QTime(0, 0, 0));
    for (int n = 0; n < count; ++n, t = t.addSecs(30)) {
        Fill(d, t, n);
        const auto call = Clock::now();
        const Event event{d.ScanDate,
                          d.ScanTime,
                          EventKinds::High,
                          1,
                          EventNames::Raised,
                          d.ChannelValue[1],
                          "10.0",
                          "",
                          QStringLiteral("Boiler pressure")};
        if (events ? !AppendEvents(folder + QStringLiteral("/datafiles/02-2025-Events.txt"), {event})
                   : !StoreDataRecord(d))
            return 1;
        const auto stored = Clock::now();
        const QByteArray time = t.toString(Qt::ISODate).toLatin1();
        std::unique_lock lock(receipts.lock);
        const bool got = receipts.arrived.wait_for(lock, std::chrono::seconds(5), [&] {
            return std::any_of(receipts.seen.begin(), receipts.seen.end(),
                               [&](const auto& s) { return s.first == time; });
        });
        if (!got) {
            std::fprintf(stderr, "record %s did not arrive within 5 s\n", time.constData());
            return 1;
        }
        const auto it = std::find_if(receipts.seen.begin(), receipts.seen.end(),
                                     [&](const auto& s) { return s.first == time; });
        ms.push_back(std::chrono::duration<double, std::milli>(it->second - stored).count());
        fromCall.push_back(std::chrono::duration<double, std::milli>(it->second - call).count());
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, false);
    mosquitto_destroy(sub);
    std::sort(ms.begin(), ms.end());
    std::sort(fromCall.begin(), fromCall.end());
    // The publisher reads a record once the count names it, which the store
    // raises before its final sync: a record may arrive before the store
    // returns (a negative figure).
    std::printf(
        "latency from the store's final sync to receipt over %d %s: median %.1f ms, max %.1f ms "
        "(goals: median at most 250 ms, max at most 1000 ms)\n"
        "latency from the store's call to receipt:                       median %.1f ms, max %.1f ms\n",
        count, events ? "events" : "records", ms[ms.size() / 2], ms.back(), fromCall[fromCall.size() / 2],
        fromCall.back());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == u"month")
        return WriteMonth(args[2]);
    if (args.size() == 4 && args[1] == u"events")
        return WriteEvents(args[2], args[3].toInt());
    if (args.size() == 6 && (args[1] == u"latency" || args[1] == u"event-latency"))
        return Latency(args[2], args[3].toInt(), args[4].toUtf8(), args[5].toInt(), args[1] != u"latency");
    std::fprintf(stderr, "usage: tarvek-publish-bench month FOLDER | events FOLDER COUNT | "
                         "latency|event-latency FOLDER PORT PREFIX COUNT\n");
    return 2;
}
