#pragma once

// Helpers shared by the tests: a scratch application folder and byte-level
// access to the files the program writes.
#include "common/Declarations.h"
#include "config/SettingRecords.h"
#include "data/EventLog.h"
#include "data/EventRecord.h"
#include "data/StoringData.h"
#include "viewer/HeadlessExport.h"

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <grp.h>
#include <map>
#include <ostream>
#include <unistd.h>

// Lets GoogleTest print texts (QString, QByteArray) in failure messages.
template <typename Text>
requires requires(const Text& text) {
    text.toStdString();
}
void PrintTo(const Text& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Names the rows of a TEST_P table after their `name` field, in test names
// and, for rows declared in an unnamed namespace, in failure messages.
inline constexpr auto RowName = [](const auto& row) { return std::string(row.param.name); };
namespace {
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}
} // namespace

namespace tarvek {

// Runs the event loop until `done` holds or `timeoutMs` has passed; true when
// it holds. Checks every few milliseconds from a timer: never spins.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    if (!done())
        loop.exec();
    return done();
}

// Lets the event loop run for `ms` milliseconds, to see that nothing happens.
inline void RunEventsFor(int ms) {
    WaitUntil([] { return false; }, ms);
}

// An event of the log, the fields not given blank.
inline Event EventOf(const QString& date, const QString& time, const QString& kind, int channel,
                     const QString& event, const QString& value = {}, const QString& limit = {},
                     const QString& user = {}, const QString& text = {}) {
    return {date, time, kind, channel, event, value, limit, user, text};
}

// Events from tokens, a minute apart from 10:00:00 on 05-03-2008 (with
// `tokenAsTime`, each with its token for its time): KIND, channel, event
// ("H1R" HIGH 1 RAISED, "L2K" LOW 2 ACKNOWLEDGED, "A0R" NO ANSWER RAISED);
// "a" / "x" ACQUISITION STARTED / STOPPED, "p" PROGRAM STARTED.
inline std::vector<LoggedEvent> EventsOf(const QString& tokens, bool tokenAsTime = false) {
    const std::map<QChar, QString> kinds{{'H', "HIGH"}, {'L', "LOW"}, {'A', "NO ANSWER"}};
    const std::map<QChar, QString> names{{'R', "RAISED"}, {'C', "CLEARED"}, {'K', "ACKNOWLEDGED"}};
    std::vector<LoggedEvent> log;
    for (const QString& t : tokens.split(u' ', Qt::SkipEmptyParts)) {
        const bool own = t.size() == 1;
        const QString time = tokenAsTime ? t : QStringLiteral("10:%1:00").arg(log.size(), 2, 10, QChar('0'));
        log.push_back(
            {qint64(log.size() + 1),
             EventOf("05-03-2008", time, own ? QString(t == "p" ? "PROGRAM" : "ACQUISITION") : kinds.at(t[0]),
                     own ? 0 : t[1].digitValue(),
                     own ? QString(t == "x" ? "STOPPED" : "STARTED") : names.at(t[2]))});
    }
    return log;
}

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Runs `f` and returns its result, leaving what it wrote to stderr in `err`:
// the descriptor itself goes to a temporary file meanwhile.
template <typename F> auto WithStderr(QString& err, F f) {
    std::fflush(stderr);
    std::FILE* capture = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(capture), 2);
    auto result = f();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::rewind(capture);
    QFile captured;
    err = captured.open(capture, QIODevice::ReadOnly) ? QString::fromUtf8(captured.readAll()) : QString();
    captured.close();
    std::fclose(capture);
    return result;
}

// Where character `column` of record `record` of a set-up file lies, both
// counted from 1 as the record layouts count them.
constexpr int At(int record, int column) {
    return (record - 1) * 80 + column - 1;
}

// A record of `length` bytes: `text` blank-padded, ending in "*", CR, LF.
inline QByteArray Record(const QByteArray& text, int length = 80) {
    return text.leftJustified(length - 3, ' ', true) + "*\r\n";
}

// A general parameters file of forty labelled records; `values` overrides the
// value of the records it names.
inline QByteArray GeneralFile(const std::map<int, QByteArray>& values = {}) {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n)
        bytes += Record(("General " + QByteArray::number(n)).leftJustified(21, '.') +
                        (values.contains(n) ? values.at(n) : "v" + QByteArray::number(n)));
    return bytes;
}

// Records 1..10 of headings, then channels 1..8 in their fixed columns (gain
// at 36..44, zero at 46..54).
inline QByteArray ChannelFile(const std::array<QByteArray, 8>& gains,
                              const std::array<QByteArray, 8>& zeros) {
    QByteArray bytes = Record("Heading").repeated(10);
    for (int c = 0; c < 8; ++c)
        bytes += Record(("Ch." + QByteArray::number(c + 1)).leftJustified(27) + ";3;Bar ;" +
                        gains[c].leftJustified(9, ' ', true) + ";" + zeros[c].leftJustified(9, ' ', true) +
                        ";1;-9999    ;9999     ;");
    return bytes;
}

// A channel parameters record by the set-up's own layout.
inline QByteArray ChannelLine(const QString& name, const QString& unit, const QString& min = {},
                              const QString& max = {}) {
    Declarations::ChannelRow fields;
    fields[Declarations::Description] = name;
    fields[Declarations::Unit] = unit;
    fields[Declarations::AlarmMin] = min;
    fields[Declarations::AlarmMax] = max;
    return ChannelRecord("Ch.", fields).toLatin1();
}

// Record 1 of a data file, its count field as given ("    3", "  abc").
inline QByteArray DataHeader(const QByteArray& countField) {
    return "Lastrecord;   " + countField + ";" + QByteArray("          ;     ;").repeated(8) + " *\r\n";
}
inline QByteArray DataHeader(int count) {
    return DataHeader(QByteArray::number(count).rightJustified(5, ' '));
}

// A data record with `values` (set right in their fields) in the first
// channels and "+1.000" in the rest.
inline QByteArray DataLine(const QByteArray& time, QList<QByteArray> values = {},
                           const QByteArray& date = "26-10-2025") {
    QByteArray line = date + ";" + time + ";";
    for (int k = 0; k < 8; ++k)
        line +=
            (k < values.size() ? values[k].rightJustified(ValueWidth) : QByteArray("   +1.000")) + " ; Bar ;";
    return line + " *\r\n";
}

// In a death test's child: root drops to nobody, so that permissions bind it
// as they bind an operator (exit status 64 when it cannot).
inline void DropToNobody() {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        std::_Exit(64);
}

// A fresh application folder per test, removed afterwards.
class AppFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        state.AppFolder = dir_.path();
    }
    QString SettingPath(const QString& name) const { return state.AppFolder + "/settingfiles/" + name; }
    QString DataPath(const QString& name) const { return state.AppFolder + "/datafiles/" + name; }
    // Stores a scan with the logger's own writer: `first` in channel 1, `rest`
    // in the others.
    void StoreScan(const QString& date, const QString& time, const QString& first, const QString& rest) {
        state.ScanDate = date;
        state.ScanTime = time;
        state.ChannelValue.fill(rest);
        state.ChannelValue[1] = first;
        QString err;
        ASSERT_TRUE(WithStderr(err, [&] { return StoreDataRecord(state); })) << qPrintable(err);
    }

    QTemporaryDir dir_;
    Declarations state;
};

// The viewer's file tests: the headless export run in-process.
class ViewerFiles : public AppFolderTest {
  protected:
    int Export(const QStringList& arguments) {
        QTextStream stream(&err_);
        return RunHeadlessExport(QStringList{"tarvek-view"} + arguments, state.AppFolder + "/datafiles",
                                 stream);
    }
    QString err_;
};

} // namespace tarvek
