// Every reader and writer of the shared folders (settingfiles/, datafiles/)
// through its own entry, with a hostile file in place of its file: a link to
// another user's file (or to none), a FIFO, a second hard link, a file it may
// not read. Each names the file and the reason, is never blocked, and never
// reads, writes or makes anything through the name.
#include "config/AcquisitionStatus.h"
#include "config/AlarmParameters.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetUpEntries.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "config/Starting.h"
#include "publish/EventFeed.h"
#include "publish/RecordFeed.h"
#include "viewer/Channels.h"
#include "viewer/EventSource.h"
#include "viewer/HeadlessExport.h"
#include "viewer/TrendSource.h"

#include "support/TestSupport.h"

#include <sys/stat.h>

using namespace tarvek;

namespace {

enum Hostile { Link, DanglingLink, Fifo, HardLink, Unreadable };
const char* const Kinds[] = {"Link", "DanglingLink", "Fifo", "HardLink", "Unreadable"};
const char* const Reasons[] = {"is a symbolic link", "is a symbolic link", "is not a regular file",
                               "has more than one link", "Permission denied"};

QString Said(const FileOutcome& outcome) {
    return outcome ? "succeeded" : outcome.message;
}
template <typename Feed, typename Fed> QString FeedSaid(const QString& at) {
    Feed feed(at + "/datafiles");
    std::vector<Fed> out;
    feed.Read(100, out);
    QString failure;
    if constexpr (requires { feed.Error(); })
        failure = feed.Error();
    return QString::number(out.size()) + " read; " + feed.TakeNotes().join("; ") + failure;
}

// The viewer's export of the folder: refused whole (exit status 1).
QString Exported(const QString& at, const QString& option) {
    QString err;
    QTextStream stream(&err);
    const int code =
        RunHeadlessExport({"tarvek-view", option, at + "/out.csv", at + "/datafiles"}, {}, stream);
    return code == 1 && !QFileInfo::exists(at + "/out.csv") ? err : "exit status " + QString::number(code);
}

// Each entry: its file under the application folder, and what it said when
// run on `s` (a scan of 05-03-2008).
using Entry = std::pair<QString, std::function<QString()>>;
std::map<std::string, Entry> Entries(Declarations& s) {
    const QString at = s.AppFolder, general = "settingfiles/generalparameters.txt",
                  channels = "settingfiles/channelsparameters.txt",
                  status = "settingfiles/acquisitionstatus.txt", data = "datafiles/03-2008-Data.txt",
                  log = "datafiles/03-2008-Events.txt";
    ChannelTexts gains;
    gains.fill("1.5");
    const auto channelNames = [=] {
        QStringList problems;
        QString failure;
        return ReadChannelInfos(at + "/settingfiles", &problems, &failure), failure;
    };
    const auto load = [=, &s] { // the set-up in use stays
        const LoadedSetUp loaded = LoadSetUp(at, s.SetUp);
        return loaded.setUp ? "loaded" : loaded.failures.join("; ");
    };
    const auto trend = [=] {
        TrendSource source(QTimeZone::utc());
        return source.Open({at + "/datafiles"}), source.Errors().join("; ");
    };
    const auto events = [=] {
        EventSource source;
        return source.Open(at + "/datafiles"), source.Problems().join("; ");
    };
    return {
        {"GeneralParameters", {general, [=, &s] { return Said(ReadGeneralParameters(at, s.SetUp)); }}},
        {"GeneralParametersSaved",
         {general, [=, &s] { return Said(SaveGeneralParameters(at, s.SetUp.GeneralLabel, "3", "2")); }}},
        {"ChannelParameters", {channels, [=, &s] { return Said(ReadChannelParameters(at, s.SetUp)); }}},
        {"ChannelParametersSaved", {channels, [=] { return Said(SaveChannelParameters(at, gains, gains)); }}},
        {"ViewerChannels", {channels, channelNames}},
        {"ViewerExport", {channels, [=] { return Exported(at, "--csv"); }}},
        {"AcquisitionStatus", {status, [=] { return Said(ReadAcquisitionStatus(at)); }}},
        {"AcquisitionStatusWritten", {status, [=] { return Said(WriteAcquisitionStatus(at, "1")); }}},
        {"AlarmParameters",
         {"settingfiles/alarmparameters.txt", [=] { return ReadAlarmParameters(at).problems.join("; "); }}},
        {"InstrumentParametersLoaded", {"settingfiles/instrumentparameters.txt", load}},
        {"DataFileStored", {data, [=, &s] { return Said(StoreDataRecord(s)); }}},
        {"ViewerTrend", {data, trend}},
        {"PublisherRecords", {data, [=] { return FeedSaid<RecordFeed, FedRecord>(at); }}},
        {"EventLogAppended",
         {log, [=] { return Said(AppendEvents(at + '/' + log, {EventsOf("H1C")[0].event})); }}},
        {"EventLogRead", {log, [=] { return ReadEventFile(at + '/' + log).problem; }}},
        {"ViewerEvents", {log, events}},
        {"ViewerEventsExport", {log, [=] { return Exported(at, "--events-csv"); }}},
        {"PublisherEvents", {log, [=] { return FeedSaid<EventFeed, FedEvent>(at); }}}};
}

std::vector<std::string> Names() {
    Declarations none;
    std::vector<std::string> names;
    for (const auto& [name, entry] : Entries(none))
        names.push_back(name);
    return names;
}

class SharedFolderReaders : public AppFolderTest,
                            public ::testing::WithParamInterface<std::tuple<std::string, int>> {};

TEST_P(SharedFolderReaders, RefuseAHostileFileNamingIt) {
    const auto [reader, hostile] = GetParam();
    const Entry entry = Entries(state).at(reader);
    ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
    state.ScanDate = "05-03-2008", state.ScanTime = "10:15:00";
    state.ChannelValue.fill("   +1.000");
    ASSERT_TRUE(StoreDataRecord(state) &&
                AppendEvents(DataPath("03-2008-Events.txt"), {EventsOf("H1R")[0].event}));
    const QString file = state.AppFolder + '/' + entry.first, outside = state.AppFolder + "/outside/theirs";
    const QByteArray theirs = ReadBytes(file), name = QFile::encodeName(file),
                     target = QFile::encodeName(outside);
    QFile::remove(file);
    WriteBytes(hostile == DanglingLink ? file : outside,
               theirs); // the other user's file, as the entry takes it
    ASSERT_TRUE(hostile != Link || ::symlink(target, name) == 0);
    ASSERT_TRUE(hostile != DanglingLink || (QFile::remove(file) && ::symlink(target, name) == 0));
    ASSERT_TRUE(hostile != Fifo || ::mkfifo(name, 0664) == 0);
    ASSERT_TRUE(hostile != HardLink || ::link(target, name) == 0);
    ASSERT_TRUE(hostile != Unreadable || (QFile::copy(outside, file) && ::chmod(name, 0) == 0 &&
                                          ::chmod(QFile::encodeName(state.AppFolder), 0711) ==
                                              0)); // read by nobody where root runs the suite
    EXPECT_EXIT(
        {
            if (hostile == Unreadable)
                DropToNobody();
            std::fputs(qPrintable(entry.second()), stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        QFileInfo(file).fileName().replace(".", "[.]").toStdString() + ".*" + Reasons[hostile]);
    EXPECT_EQ(ReadBytes(outside), hostile == DanglingLink ? "" : theirs) << "changed through the name";
    EXPECT_EQ(QFileInfo::exists(outside), hostile != DanglingLink) << "made through the name";
}

INSTANTIATE_TEST_SUITE_P(Planted, SharedFolderReaders,
                         ::testing::Combine(::testing::ValuesIn(Names()), ::testing::Range(0, 5)),
                         [](const auto& row) {
                             return std::get<0>(row.param) + Kinds[std::get<1>(row.param)];
                         });

} // namespace
