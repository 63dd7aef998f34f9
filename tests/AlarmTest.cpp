// The logger's alarms: the state machine per alarm as a table of polls, the
// fold of a log into the current alarms, the event log byte for byte through
// the monitor (restart, Load, month change), the alarm set-up file, and
// hostile files in place of an event log.
#include "alarm/AlarmMachine.h"
#include "alarm/AlarmMonitor.h"
#include "common/Folders.h"
#include "config/AlarmParameters.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/InstrumentParameters.h"
#include "data/AlarmFold.h"
#include "data/ElaborationData.h"
#include "data/EventLog.h"

#include "support/AcquisitionSupport.h"
#include "support/FakeClock.h"
#include "support/TestSupport.h"
#include "support/WindowTestSupport.h"
#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

#include <sys/stat.h>

using namespace tarvek;

namespace {

// Polls of channel 8, the last (minimum 0, maximum 10; the other channels
// steady at 5), one token each: a number is its value with the instrument
// answering, "g" a gap (" No Data ") and "i" an invalid value (" ======= ") on
// channel 8, "s" a silent instrument, "F" / "S" a scan whose store failed /
// succeeded, "Lmax" / "Lact" a Load removing channel 8's maximum / making it
// inactive, "R" a restart from the events so far. Events: "poll:KIND EVENT
// channel", in order.
struct MachineRow {
    const char* name;
    const char* polls;
    const char* events;
    double deadband = 0;
    int onDelay = 1;
    const char* maximum = "10";
    const char* minimum = "0";
};

AlarmSetUp SetUpOf(const MachineRow& row, bool active = true, const char* maximum = nullptr) {
    Declarations::SetUpState setUp;
    for (int c = 1; c <= 8; ++c) {
        setUp.ChannelParam[c][Declarations::Active] = c < 8 || active ? "1" : "0";
        setUp.ChannelParam[c][Declarations::AlarmMin] = c < 8 ? "0" : row.minimum;
        setUp.ChannelParam[c][Declarations::AlarmMax] = c < 8 ? "10" : maximum ? maximum : row.maximum;
    }
    AlarmParameters parameters;
    parameters.deadband[7] = row.deadband;
    parameters.onDelay[7] = row.onDelay;
    return AlarmSetUpOf(setUp, parameters);
}

QString RunPolls(const MachineRow& row) {
    AlarmMachine machine(SetUpOf(row));
    std::vector<LoggedEvent> log;
    QStringList seen;
    int poll = 0;
    for (const QString& token : QString(row.polls).split(u' ', Qt::SkipEmptyParts)) {
        ++poll;
        std::vector<Event> events;
        if (token == "R") {
            machine = AlarmMachine(SetUpOf(row));
            machine.Restore(FoldEvents(log));
        } else if (token.startsWith(u'L')) {
            events = machine.TakeSetUp(SetUpOf(row, token != "Lact", token == "Lmax" ? "" : nullptr), "", "");
        } else {
            AlarmScan scan{"05-03-2008", "10:15:00", token != "s", {}, {}};
            scan.values.fill(token == "s" ? NoDataText : ValueText(5));
            scan.values[7] = token == "g" || token == "s" ? NoDataText
                             : token == "i"               ? InvalidValueText
                                                          : ValueText(token.toDouble());
            if (token == "F" || token == "S") {
                scan.values[7] = ValueText(5);
                scan.store = token == "S" ? FileOutcome{} : FileOutcome::Failure("disk full");
            }
            events = machine.Scan(scan);
        }
        for (const Event& e : events) {
            seen << QStringLiteral("%1:%2 %3%4")
                        .arg(poll)
                        .arg(e.kind, e.name, e.channel ? " " + QString::number(e.channel) : "");
            log.push_back({0, e});
        }
    }
    return seen.join(", ");
}

class AlarmMachineTable : public ::testing::TestWithParam<MachineRow> {};

TEST_P(AlarmMachineTable, RaisesAndClearsAsThePollsGo) {
    EXPECT_EQ(RunPolls(GetParam()), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Polls, AlarmMachineTable,
    ::testing::ValuesIn(std::vector<MachineRow>{
        {"RaisedAtTheFirstPollOutsideClearedAtTheLimit", "5 11 12 10 5", "2:HIGH RAISED 8, 4:HIGH CLEARED 8"},
        {"AtBothLimitsIsInside", "10 0 10", ""},
        {"OnDelayNeedsPollsRunningOutside", "11 11 5 11 11 11 5", "6:HIGH RAISED 8, 7:HIGH CLEARED 8", 0, 3},
        {"DeadbandAtTheMaximum", "11 9.5 9 5", "1:HIGH RAISED 8, 3:HIGH CLEARED 8", 1},
        {"DeadbandAtTheMinimum", "-1 0.5 -0.5 1", "1:LOW RAISED 8, 4:LOW CLEARED 8", 1},
        {"ChangeOfSideClearsBeforeItRaises", "-1 11 5",
         "1:LOW RAISED 8, 2:LOW CLEARED 8, 2:HIGH RAISED 8, 3:HIGH CLEARED 8"},
        {"GapsNeitherClearNorBreakTheOnDelay", "11 g 11 g 5 g", "3:HIGH RAISED 8, 5:HIGH CLEARED 8", 0, 2},
        {"NoValueAfterThreeGapsClearedByAValue", "g g g g 5", "3:NO VALUE RAISED 8, 5:NO VALUE CLEARED 8"},
        {"AnInvalidValueIsAGap", "i g i", "3:NO VALUE RAISED 8"},
        {"NoAnswerInsteadOfEightNoValues", "s s s s 5", "3:NO ANSWER RAISED, 5:NO ANSWER CLEARED"},
        {"SilentPollsAreNoGaps", "g g s g 5", "4:NO VALUE RAISED 8, 5:NO VALUE CLEARED 8"},
        {"NotStoredUntilAStoreSucceeds", "F 5 F S S", "1:NOT STORED RAISED, 4:NOT STORED CLEARED"},
        {"ALimitRemovedWhileRaisedClearsWithTheLoad", "11 Lmax 12 5", "1:HIGH RAISED 8, 2:HIGH CLEARED 8"},
        {"AChannelMadeInactiveClearsItsAlarms", "-1 g g g Lact -5",
         "1:LOW RAISED 8, 4:NO VALUE RAISED 8, 5:LOW CLEARED 8, 5:NO VALUE CLEARED 8"},
        {"RestartWithAnAlarmActiveDoesNotRaiseItAgain", "11 R 12 R 5", "1:HIGH RAISED 8, 5:HIGH CLEARED 8"},
        {"RestartWithTheLoggersAlarmsActive", "s s s R F R 5 S",
         "3:NO ANSWER RAISED, 5:NO ANSWER CLEARED, 5:NOT STORED RAISED, 8:NOT STORED CLEARED"},
        {"RestartWithNoValueActive", "g g g R 5", "3:NO VALUE RAISED 8, 5:NO VALUE CLEARED 8"},
        {"BlankAndUnreadableLimitsRaiseNothing", "-50 2000", "", 0, 1, "1e3", ""},
        {"AMinimumNotBelowTheMaximumRaisesNothing", "-50 7 2000", "", 0, 1, "5", "10"},
        {"ALimitWithBlanksAndASign", "10.5 10.6", "2:HIGH RAISED 8", 0, 1, " +10.5 "}}),
    RowName);

// Logs folded into the current alarms, one event per token: KIND, channel,
// event ("H1R" HIGH 1 RAISED, "A0C" NO ANSWER CLEARED); "a" / "x" ACQUISITION
// STARTED / STOPPED, "p" PROGRAM STARTED.
struct FoldRow {
    const char* name;
    const char* events;
    // "kind channel state since", state 0 active unacknowledged, 1 acknowledged, 2 back to normal
    const char* alarms;
    const char* stoppedAt = ""; // the event nobody watches since
};

class AlarmFoldTable : public ::testing::TestWithParam<FoldRow> {};

TEST_P(AlarmFoldTable, GivesTheAlarmsThatStand) {
    const AlarmFold fold = FoldEvents(EventsOf(GetParam().events, true));
    QStringList alarms;
    for (const CurrentAlarm& a : fold.alarms)
        alarms << QStringLiteral("%1 %2 %3 since %4")
                      .arg(a.kind)
                      .arg(a.channel)
                      .arg(int(a.state))
                      .arg(a.sinceTime);
    EXPECT_EQ(alarms.join(", "), GetParam().alarms);
    EXPECT_EQ(fold.stoppedTime, GetParam().stoppedAt);
    EXPECT_EQ(fold.stopped, !fold.stoppedTime.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Logs, AlarmFoldTable,
    ::testing::ValuesIn(std::vector<FoldRow>{
        {"RaisedIsActiveUnacknowledged", "H1R A0R", "HIGH 1 0 since H1R, NO ANSWER 0 0 since A0R"},
        {"AcknowledgedStaysWhileActive", "H1R H1K x", "HIGH 1 1 since H1R", "x"},
        {"BackToNormalStaysUntilAcknowledged", "L2R L2C H2R L2K", "HIGH 2 0 since H2R"},
        {"AcknowledgedThenClearedLeaves", "H1R H1K H1C", ""},
        {"ARestartIsStandByUntilStart", "a H1R p", "HIGH 1 0 since H1R", "p"},
        {"StoppedSinceTheStopNotTheRestart", "a x p", "", "x"},
        {"WatchedAgainAfterStart", "x p a", ""},
        {"RaisedAgainStartsAnew", "H1R H1C H3R H1R", "HIGH 3 0 since H3R, HIGH 1 0 since H1R"},
        {"OthersAlarmsAndUnknownClearsLeaveItAlone", "H1R L1C H2K H1C", "HIGH 1 2 since H1R"}}),
    RowName);

// The one wording of each kind of alarm (AlarmText: the viewer's list and the
// publisher's notification say it too), and what the desktop is told of it.
TEST(AlarmTexts, NameTheChannelTheValueTheLimitAndTheTime) {
    const auto notice = [](const char* kind, int channel, const char* value, const char* limit,
                           const char* text) {
        const AlarmNotice n = NoticeOf(EventOf({}, "10:15:30", kind, channel, {}, value, limit, {}, text),
                                       channel ? "bar" : "");
        return (n.summary + " | " + n.body).toStdString();
    };
    EXPECT_EQ(notice("HIGH", 3, "  +10.700", "10", "Boiler pressure"),
              "TARVEK: Boiler pressure above maximum | 10.700 bar > 10 at 10:15:30");
    EXPECT_EQ(notice("LOW", 2, "   -0.500", "-.25", ""),
              "TARVEK: Ch.2 below minimum | -0.500 bar < -0.25 at 10:15:30");
    EXPECT_EQ(notice("NO VALUE", 1, " ======= ", "", "Flow"),
              "TARVEK: Flow without a value | ======= at 10:15:30");
    EXPECT_EQ(notice("NO ANSWER", 0, "", "", "no answer for 3 polls"),
              "TARVEK: Instrument not answering | no answer for 3 polls at 10:15:30");
    EXPECT_EQ(notice("NOT STORED", 0, "", "", "/d: No space left on device"),
              "TARVEK: Records not stored | /d: No space left on device at 10:15:30");
}

// The set-up last in use, as the logs' records tell it; a value may hold an
// arrow. A limit that cannot be used is named.
TEST(SetUpTrailOfTheLogs, TakesEachFieldsLastValue) {
    SetUpTrail trail;
    const auto follow = [&](const char* event, const char* text) {
        TakeSetUp(trail, EventOf({}, {}, "SET-UP", 0, event, {}, {}, {}, text));
    };
    follow("IN USE", "Ch.1 description a -> b");
    follow("CHANGED", "Ch.1 description a -> b -> c -> d"); // the old value known: the rest is new
    follow("CHANGED", "Ch.2 gain 1 -> 2");                  // nothing known: after the last arrow
    follow("IN USE", "Ch.3 maximum (blank)");
    follow("UNREADABLE", "Ch.3 maximum 1e3");
    follow("IN USE", "Ch.9 gain 1");
    EXPECT_EQ(trail, (SetUpTrail{{"Ch.1 description", "c -> d"}, {"Ch.2 gain", "2"}, {"Ch.3 maximum", ""}}));
    Declarations::SetUpState pair; // a minimum not below its maximum, both in use: named once
    pair.ChannelParam[3][Declarations::AlarmMin] = "10", pair.ChannelParam[3][Declarations::AlarmMax] = "5";
    const std::vector<Event> inUse = CompareSetUp({}, SetUpFieldsOf(pair, {}));
    EXPECT_EQ(std::count(inUse.begin(), inUse.end(),
                         EventOf({}, {}, "SET-UP", 3, "UNREADABLE", {}, "10", {},
                                 "Ch.3 alarm minimum 10 not below maximum 5")),
              1);
    const Event e = EventOf({}, {}, {}, 0, {}, {}, {}, {}, QString("a\tb") + QChar(0x85) + "c");
    EXPECT_EQ(BuildEventRecord(e).mid(84, 6), "a b c ") << "a record stays one line";
}

// The instrument set-up in the trail: the protocol always, a Modbus RTU
// line's and channels' records while it is in use; a value that cannot be
// used is named after it, and what the logs hold is not written again.
TEST(SetUpTrailOfTheLogs, FollowsTheInstrumentSetUp) {
    Declarations::SetUpState setUp;
    setUp.InstrumentValue = QStringList(InstrumentRecordCount);
    setUp.InstrumentValue[ProtocolRecord - 1] = "Modbus RTU";
    setUp.InstrumentValue[SourceRecord(3, AddressField) - 1] = "1";
    setUp.InstrumentValue[SourceRecord(3, RegisterField) - 1] = "70000";
    SetUpTrail trail;
    const auto take = [&] {
        QStringList texts;
        for (const Event& e : CompareSetUp(trail, SetUpFieldsOf(setUp, {}))) {
            TakeSetUp(trail, e);
            if (e.name == "CHANGED" || e.text.startsWith("protocol") || e.text.startsWith("Ch.3 register") ||
                e.text.startsWith("settingfiles/"))
                texts << e.name + " " + QString::number(e.channel) + " " + e.text;
        }
        return texts;
    };
    EXPECT_EQ(take(),
              (QStringList{"IN USE 0 protocol Modbus RTU", "IN USE 3 Ch.3 register 70000",
                           "UNREADABLE 3 settingfiles/instrumentparameters.txt: record 20 (Ch.3 register): "
                           "\"70000\" cannot be used; Ch.3 reads No Data"}));
    EXPECT_EQ(take(), QStringList{}) << "the logs hold it";
    setUp.InstrumentValue[BitRateRecord - 1] = "19200";
    EXPECT_EQ(take(), QStringList{"CHANGED 0 bit rate (blank) -> 19200"});
}

// The monitor on an application folder with the default set-up, its clock
// and scans driven by the test.
class AlarmLogTest : public AppFolderTest {
  protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
        SetChannel1(Declarations::AlarmMax, "10");
        Start();
    }
    void SetChannel1(Declarations::ChannelField field, const QString& text) {
        QByteArray file = ReadBytes(SettingPath(ChannelParametersFile));
        file.replace(At(11, 1), 80,
                     WithChannelField(QString::fromLatin1(file.mid(At(11, 1), 80)), field, text).toLatin1());
        WriteBytes(SettingPath(ChannelParametersFile), file);
    }
    void Start() {
        ASSERT_TRUE(ReadGeneralParameters(state.AppFolder, state.SetUp));
        ASSERT_TRUE(ReadChannelParameters(state.AppFolder, state.SetUp));
        monitor = std::make_unique<AlarmMonitor>(state, clock);
        monitor->ProgramStarted();
    }
    void Scan(const QString& date, const QString& time, double channel1) {
        state.ScanDate = date;
        state.ScanTime = time;
        state.ReplyComplete = 1;
        state.ChannelValue.fill(ValueText(1));
        state.ChannelValue[1] = ValueText(channel1);
        monitor->ScanEnded(std::nullopt);
    }
    QByteArray Events(const QString& month = "03-2008") { return ReadBytes(DataPath(month + "-Events.txt")); }

    FakeClock clock; // 05-03-2008 10:15:00
    std::unique_ptr<AlarmMonitor> monitor;
};

// A record written by hand: every field in its columns.
QByteArray Line(const char* date, const char* time, const char* kind, const char* channel, const char* event,
                const char* value = "", const char* limit = "", const char* text = "") {
    return QByteArray(date) + ";" + time + ";" + QByteArray(kind).leftJustified(11) + ";" + channel + ";" +
           QByteArray(event).leftJustified(12) + ";" + QByteArray(value).leftJustified(9) + ";" +
           QByteArray(limit).rightJustified(9) + ";" + RealUserName().toLatin1().leftJustified(16) + ";" +
           QByteArray(text).leftJustified(73) + "*\r\n";
}

TEST_F(AlarmLogTest, TheLogHoldsEachEventByteForByteAcrossARestartALoadAndAMonthChange) {
    // A first start: the program, then the whole set-up as the baseline.
    const QByteArray first = Events();
    ASSERT_EQ(first.size(), (1 + 85) * 160);
    EXPECT_EQ(first.left(160), Line("05-03-2008", "10:15:00", "PROGRAM", " ", "STARTED"));
    EXPECT_EQ(first.mid(160, 160),
              Line("05-03-2008", "10:15:00", "SET-UP", " ", "IN USE", "", "", "serial line 1"));
    EXPECT_TRUE(
        first.contains(Line("05-03-2008", "10:15:00", "SET-UP", "1", "IN USE", "", "", "Ch.1 maximum 10")));
    EXPECT_TRUE(
        first.contains(Line("05-03-2008", "10:15:00", "SET-UP", "8", "IN USE", "", "", "Ch.8 deadband 0")));

    Scan("05-03-2008", "10:15:15", 10.7);
    Scan("05-03-2008", "10:15:30", 11);
    QByteArray expected =
        first + Line("05-03-2008", "10:15:15", "HIGH", "1", "RAISED", "  +10.700", "10", "Analog input 1");
    EXPECT_EQ(Events(), expected);

    // A restart with the alarm standing and a set-up changed by hand.
    clock.Set(QDateTime(QDate(2008, 3, 31), QTime(23, 59, 50)));
    SetChannel1(Declarations::Gain, "1.02");
    QString err;
    WithStderr(err, [&] {
        Start();
        return 0;
    });
    EXPECT_TRUE(err.isEmpty()) << qPrintable(err);
    expected += Line("31-03-2008", "23:59:50", "PROGRAM", " ", "STARTED") +
                Line("31-03-2008", "23:59:50", "SET-UP", "1", "CHANGED", "", "", "Ch.1 gain 1 -> 1.02");
    Scan("31-03-2008", "23:59:55", 12);
    EXPECT_EQ(Events(), expected) << "a standing alarm is not raised again";

    // A Load that removes the maximum clears the alarm with the change; a
    // limit that is no number is named once.
    clock.Set(QDateTime(QDate(2008, 4, 1), QTime(0, 0, 5)));
    SetChannel1(Declarations::AlarmMax, "");
    SetChannel1(Declarations::AlarmMin, "1e3");
    ASSERT_TRUE(ReadChannelParameters(state.AppFolder, state.SetUp));
    WithStderr(err, [&] {
        monitor->SetUpLoaded();
        return 0;
    });
    EXPECT_TRUE(err.contains("Ch.1 minimum \"1e3\" is no number")) << qPrintable(err);
    const QByteArray april =
        Line("01-04-2008", "00:00:05", "SET-UP", "1", "CHANGED", "", "", "Ch.1 minimum -9999 -> 1e3") +
        Line("01-04-2008", "00:00:05", "SET-UP", "1", "UNREADABLE", "", "1e3",
             "Ch.1 minimum \"1e3\" is no number: no LOW alarm") +
        Line("01-04-2008", "00:00:05", "SET-UP", "1", "CHANGED", "", "", "Ch.1 maximum 10 -> (blank)") +
        Line("01-04-2008", "00:00:05", "HIGH", "1", "CLEARED", "", "", "no longer watched by the set-up");
    EXPECT_EQ(Events("04-2008"), april);
    EXPECT_EQ(Events(), expected) << "March's log is left as it was";
    Start();
    EXPECT_EQ(Events("04-2008").size(), april.size() + 160)
        << "only PROGRAM STARTED: the logs know the set-up";
}

// An alarm standing at the end of a month is not raised again in the next,
// and its clearing goes to the new month's log.
// A torn last record (a power cut in a write) is completed by the next
// writer, so every record stays at its place; readers skip what is no event
// record and count it.
TEST_F(AlarmLogTest, ReadersSkipTornAndForeignRecordsAndWritersKeepTheRecordsInPlace) {
    const QString path = DataPath("03-2008-Events.txt");
    const QByteArray before = Events();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(Record("a line of someone else's", 160) + "05-03-2008;10:1");
    file.close();
    Scan("05-03-2008", "10:15:15", 11);
    const QByteArray after = Events();
    ASSERT_EQ(after.size(), before.size() + 3 * 160);
    EXPECT_EQ(after.mid(before.size() + 160, 160), "05-03-2008;10:1" + QByteArray(142, ' ') + "*\r\n");
    const EventFileRead read = ReadEventFile(path);
    EXPECT_TRUE(read.problem.isEmpty()) << qPrintable(read.problem);
    EXPECT_EQ(read.skipped, 2);
    EXPECT_EQ(read.events.back().record, after.size() / 160);
    EXPECT_EQ(read.events.back().event.kind, "HIGH");
    EXPECT_EQ(ParseEventBytes(after.left(after.size() - 1)).skipped, 3) << "a torn last record";
    for (const int at : {10, 19, 31, 33, 46, 56, 66, 83})
        EXPECT_FALSE(ParseEventRecord(QByteArray(after.right(160)).replace(at, 1, ",")))
            << "a record without its separator at " << at + 1;
}

// A log that cannot be written (a FIFO in its place, never waited on; the
// set-up files' faults plant the others) is named, and so is one that
// cannot be read at a start; the events wait until it can be written.
TEST_F(AlarmLogTest, ALogThatCannotBeWrittenIsNamedAndItsEventsWait) {
    const QString path = DataPath("03-2008-Events.txt"), shown = QDir::toNativeSeparators(path);
    ASSERT_TRUE(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0664) == 0);
    QString err;
    WithStderr(err, [&] {
        Scan("05-03-2008", "10:15:15", 11);
        AlarmMonitor(state, clock).ProgramStarted();
        Scan("05-03-2008", "10:15:30", 5); // the alarm clears meanwhile: both wait
        return 0;
    });
    EXPECT_TRUE(err.contains(shown + ": cannot open (is not a regular file)")) << qPrintable(err);
    EXPECT_TRUE(err.contains(shown + ": is not a regular file; its alarms and set-up are not known"));
    QFile::remove(path);
    Scan("05-03-2008", "10:15:45", 5);
    QStringList events;
    for (const LoggedEvent& logged : ReadEventFile(path).events)
        events << logged.event.time + " " + logged.event.kind + " " + logged.event.name;
    EXPECT_EQ(events, QStringList({"10:15:15 HIGH RAISED", "10:15:30 HIGH CLEARED"}));
}

// The alarm set-up: defaults where the file or a value is missing, a value
// that cannot be used named with its default.
TEST_F(AppFolderTest, TheAlarmSetUpFileGivesItsValuesOrNamedDefaults) {
    EXPECT_EQ(ReadAlarmParameters(state.AppFolder).parameters, AlarmParameters{}) << "no file";
    EXPECT_TRUE(ReadAlarmParameters(state.AppFolder).problems.isEmpty());
    QByteArray bytes = DefaultAlarmRecords().join("").toLatin1();
    EXPECT_EQ(bytes.mid(At(4, 1), 80), Record("Ch.1 deadband        0"));
    EXPECT_EQ(bytes.mid(At(12, 1), 80), Record("Ch.1 on-delay        1"));
    for (const auto& [record, text] :
         std::map<int, QByteArray>{{2, "5  "}, {3, "0"}, {5, "0.25"}, {6, "-1"}, {13, "1.5"}, {19, "   "}})
        bytes.replace(At(record, 22), text.size(), text);
    WriteBytes(SettingPath(AlarmParametersFile), bytes);
    const AlarmParametersRead read = ReadAlarmParameters(state.AppFolder);
    AlarmParameters expected;
    expected.noValuePolls = 5;
    expected.deadband[1] = 0.25;
    EXPECT_EQ(read.parameters, expected);
    const QString record = QDir::toNativeSeparators(SettingPath(AlarmParametersFile)) + ": record ";
    EXPECT_EQ(read.problems, QStringList({record + "3 (No answer polls): \"0\" cannot be used; 3 is used",
                                          record + "6 (Ch.3 deadband): \"-1\" cannot be used; 0 is used",
                                          record + "13 (Ch.2 on-delay): \"1.5\" cannot be used; 1 is used"}));
}

// The desktop's notification service, as a test plays it.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    QStringList seen, capabilities{"body", "body-markup"};
  public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        seen << app + ": " + summary + " | " + body;
        return uint(seen.size());
    }
};

// The logger wired as its main does, the test playing the instrument,
// notifying through a private session bus.
class AlarmWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        bus.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
        if (!bus.waitForStarted(10000) || !bus.waitForReadyRead(10000))
            GTEST_SKIP() << "no dbus-daemon (scripts/install-deps.sh installs it)";
        address = QString::fromLatin1(bus.readLine().trimmed());
        ASSERT_TRUE(InstallDefaultSetup(state.AppFolder)); // line 1, every 30 seconds, gain 1, zero 0;
                                                           // channel 1 in kPa, the others in Bar
        QByteArray channels = ReadBytes(SettingPath(ChannelParametersFile));
        WriteBytes(SettingPath(ChannelParametersFile),
                   channels.replace(At(11, 68), 9, "15       ").replace(At(11, 31), 4, "kPa "));
        clock.Set(QDateTime(QDate(2008, 3, 5), QTime(10, 14, 59)));
        notifier = std::make_unique<DesktopNotifier>(QDBusConnection::connectToBus(address, "logger"));
        alarms = std::make_unique<AlarmMonitor>(state, clock, notifier.get());
        OpenWindow();
        alarms->ProgramStarted();
        window->Timer1()->stop();
        acquisition = std::make_unique<Acquisition>(state, *window, port, 100);
        acquisition->WatchAlarms(alarms.get());
        window->Attach(*acquisition);
    }
    void TearDown() override {
        acquisition.reset(); // before the window it shows through
        bus.terminate();
        bus.waitForFinished(10000);
        WindowTest::TearDown();
    }
    // A tick at `time` on 05-03-2008, as the window's timer gives it.
    void TickAt(QTime time) {
        clock.Set(QDateTime(QDate(2008, 3, 5), time));
        window->ClockTick();
    }
    // The next quarter-minute's scan from 10:15:00, channel 1 answering
    // `channel1` ("+0012345" 12.345).
    void Scan(const QByteArray& channel1) {
        TickAt(QTime(10, 15).addSecs(15 * scans++));
        AnswerThePoll(port, *acquisition, channel1 + GoodAnswer.mid(8));
    }

    QProcess bus;
    QString address;
    FakeSerialPort port;
    std::unique_ptr<DesktopNotifier> notifier;
    std::unique_ptr<AlarmMonitor> alarms;
    std::unique_ptr<Acquisition> acquisition;
    int scans = 0;
};

TEST_F(AlarmWindowTest, AnExcursionIsRaisedAfterItsOnDelayClearedPastItsDeadbandAndNotified) {
    // No service yet: said once on stderr, and the scan goes on.
    QString err;
    WithStderr(err, [&] {
        notifier->Notify({"a", "b"});
        notifier->Notify({"a", "b"});
        return WaitUntil([] { return false; }, 300);
    });
    EXPECT_EQ(err.count("no desktop notification of alarms: org.freedesktop.DBus.Error.ServiceUnknown"), 1)
        << qPrintable(err);
    NotificationServer server;
    QDBusConnection service = QDBusConnection::connectToBus(address, "service");
    ASSERT_TRUE(service.registerService("org.freedesktop.Notifications"));
    ASSERT_TRUE(
        service.registerObject("/org/freedesktop/Notifications", &server, QDBusConnection::ExportAllSlots));

    // The alarm set-up comes in use with a Load.
    QByteArray parameters = ReadBytes(SettingPath(AlarmParametersFile));
    WriteBytes(SettingPath(AlarmParametersFile),
               parameters.replace(At(4, 22), 1, "1").replace(At(12, 22), 1, "2"));
    form->Command1()->click();
    form->Command3()->click();
    // Channel 1: 12.345, then 20.000 three times, 14.500 (within the deadband), 12.345.
    for (const char* value : {"+0012345", "+0020000", "+0020000", "+0020000", "+0014500", "+0012345"})
        Scan(value);
    form->Command4()->click();
    TickAt(QTime(10, 16, 16));

    QStringList events;
    for (const LoggedEvent& logged : ReadEventFile(DataPath("03-2008-Events.txt")).events)
        if (logged.event.name != "IN USE")
            events << logged.event.time + " " + logged.event.kind + " " + logged.event.name + " " +
                          logged.event.value + " " + logged.event.text;
    EXPECT_EQ(events.join("\n").toStdString(), "10:14:59 PROGRAM STARTED  \n"
                                               "10:14:59 SET-UP CHANGED  Ch.1 deadband 0 -> 1\n"
                                               "10:14:59 SET-UP CHANGED  Ch.1 on-delay 1 -> 2\n"
                                               "10:14:59 ACQUISITION STARTED  \n"
                                               "10:15:30 HIGH RAISED   +20.000 Analog input 1\n"
                                               "10:16:15 HIGH CLEARED   +12.345 Analog input 1\n"
                                               "10:16:16 ACQUISITION STOPPED  ");
    ASSERT_TRUE(WaitUntil([&] { return !server.seen.isEmpty(); }, 5000));
    EXPECT_EQ(server.seen,
              QStringList{"TARVEK: TARVEK: Analog input 1 above maximum | 20.000 kPa &gt; 15 at 10:15:30"});
    server.capabilities = QStringList{"body"}; // a body shown as it stands
    notifier->Notify({"s", "a < b & c"});
    ASSERT_TRUE(WaitUntil([&] { return server.seen.size() == 2; }, 5000));
    EXPECT_EQ(server.seen[1], "TARVEK: s | a < b & c");
}

} // namespace

#include "AlarmTest.moc"
