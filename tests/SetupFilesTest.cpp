// The set-up files under faults: every reader and writer of the general,
// channel and acquisition status files runs on each row's damaged or missing
// files. Where the files say nothing usable the set-up falls back to serial
// line 1 and storage rate 0; a file that cannot be used is reported (outcome
// and stderr) and left as it was; what is saved reads back.
#include "config/AcquisitionStatus.h"
#include "config/ChannelSettings.h"
#include "config/DefaultSetup.h"
#include "config/EntryChecks.h"
#include "config/GettingParameters.h"
#include "config/SetUpEntries.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"
#include "config/Starting.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <optional>
#include <tuple>

#include <sys/stat.h>

using namespace tarvek;

namespace {

enum class Layout { Contents, FolderMissing, FolderIsAFile, FilesAreFolders };

struct SetupFault {
    const char* name;
    Layout layout;
    QByteArray contents;       // of all three files
    std::array<bool, 3> saved; // general, channels, status
    bool fullDisk = false;     // no file grows more than 100 bytes while saving
};

// What a name holds (nothing for a folder).
QByteArray Seen(const QString& path) {
    return QFileInfo(path).isFile() ? ReadBytes(path) : QByteArray();
}

class SetupFileFaults : public AppFolderTest, public ::testing::WithParamInterface<SetupFault> {
  protected:
    const QString Names[3] = {GeneralParametersFile, ChannelParametersFile, AcquisitionStatusFile};
    QString stderr_;
    mode_t umask_ = 0;

    // Files the program creates keep group write whatever the umask.
    void SetUp() override { AppFolderTest::SetUp(), umask_ = ::umask(077); }
    void TearDown() override { ::umask(umask_); }

    void ExpectOutcome(const FileOutcome& outcome, bool ok, int file) {
        EXPECT_EQ(bool(outcome), ok) << qPrintable(Names[file]) << ": " << qPrintable(outcome.message);
        EXPECT_TRUE(ok || (!outcome.message.isEmpty() && stderr_.contains(outcome.message)))
            << qPrintable(stderr_);
    }
};

TEST_P(SetupFileFaults, ReadAndSaveEveryFile) {
    const SetupFault& c = GetParam();
    if (c.layout == Layout::FolderIsAFile)
        WriteBytes(state.AppFolder + "/settingfiles", "a plain file where the folder belongs");
    const QString files[3] = {SettingPath(Names[0]), SettingPath(Names[1]), SettingPath(Names[2])};
    for (const QString& file : files) {
        if (c.layout == Layout::Contents)
            WriteBytes(file, c.contents);
        ASSERT_TRUE(c.layout != Layout::FilesAreFolders || QDir().mkpath(file));
    }
    const QByteArray before[3] = {Seen(files[0]), Seen(files[1]), Seen(files[2])};

    FillStorageRateNames(state.StorageRateName);
    state.SetUp.SerialLine = state.SetUp.StorageRate = 5; // whatever an earlier read left
    const auto read = WithStderr(stderr_, [&] {
        return std::array{ReadGeneralParameters(state.AppFolder, state.SetUp),
                          ReadChannelParameters(state.AppFolder, state.SetUp),
                          ReadAcquisitionStatus(state.AppFolder)};
    });
    for (int i = 0; i < 3; ++i) {
        ExpectOutcome(read[i], c.layout == Layout::Contents || c.layout == Layout::FolderMissing, i);
        EXPECT_EQ(Seen(SettingPath(Names[i])), before[i]) << "changed by reading";
    }
    EXPECT_EQ(std::tie(state.SetUp.SerialLine, state.SetUp.StorageRate), std::make_tuple(1, 0))
        << "the fall-backs";

    ChannelTexts gains;
    gains.fill("1.5");
    state.AcquisitionFlag = "1";
    const auto saved = WithStderr(stderr_, [&] {
        std::optional<FileSizeLimit> full; // the messages are short: they fit under the limit
        if (c.fullDisk)
            full.emplace(rlim_t(c.contents.size() + 100));
        return std::array{SaveGeneralParameters(state.AppFolder, state.SetUp.GeneralLabel, "3", "2"),
                          SaveChannelParameters(state.AppFolder, gains, gains),
                          WriteAcquisitionStatus(state.AppFolder, state.AcquisitionFlag)};
    });
    for (int i = 0; i < 3; ++i) {
        ExpectOutcome(saved[i], c.saved[i], i);
        if (!c.saved[i]) {
            EXPECT_EQ(Seen(SettingPath(Names[i])), before[i]) << "changed by a failed save";
        }
    }
    for (int i = 0; i < 3 && c.layout == Layout::FolderMissing; ++i)
        EXPECT_EQ(int(QFileInfo(files[i]).permissions()), 0x6664) << "group write under umask 077";
    if (c.saved[0] && c.saved[1]) {
        ASSERT_TRUE(ReadGeneralParameters(state.AppFolder, state.SetUp) &&
                    ReadChannelParameters(state.AppFolder, state.SetUp));
        EXPECT_EQ(std::tie(state.SetUp.SerialLine, state.SetUp.StorageRate), std::make_tuple(3, 2));
        EXPECT_EQ(state.SetUp.ChannelParam[8][Declarations::Zero], "1.5");
    }
    EXPECT_EQ(Seen(SettingPath(AcquisitionStatusFile)).mid(21, 1), c.saved[2] ? "1" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SetupFileFaults,
    ::testing::Values(
        // Missing pieces, damaged contents: the fall-backs; saving makes them whole.
        SetupFault{"FolderMissing", Layout::FolderMissing, {}, {true, true, true}},
        SetupFault{"NulFilled", Layout::Contents, QByteArray(3001, '\0'), {true, true, true}},
        SetupFault{"FolderIsAFile", Layout::FolderIsAFile, {}, {false, false, false}},
        SetupFault{"FilesAreFolders", Layout::FilesAreFolders, {}, {false, false, false}},
        // A full disk: what must grow fails and stays as it was; a rewrite in place succeeds.
        SetupFault{
            "FullDiskShortFiles", Layout::Contents, GeneralFile().left(5 * 80), {false, false, true}, true}),
    RowName);

class SetupFiles : public AppFolderTest {};

// A set-up the operator may read but not write (installed by an administrator,
// on a read-only share) is read as it is, while Save fails naming the file and
// the reason. Root writes whatever the permissions say, so the child that
// reads drops to nobody, and reports what it found in its exit status.
TEST_F(SetupFiles, AWriteProtectedSetupIsStillRead) {
    WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{16, "4"}}));
    WriteBytes(SettingPath(ChannelParametersFile), DefaultChannelRecords().join("").toLatin1());
    for (const QString& name : {GeneralParametersFile, ChannelParametersFile})
        ASSERT_EQ(chmod(qPrintable(SettingPath(name)), 0444), 0);
    ASSERT_EQ(chmod(qPrintable(state.AppFolder), 0711), 0);
    EXPECT_EXIT(
        {
            DropToNobody();
            ReadGeneralParameters(state.AppFolder, state.SetUp);
            ReadChannelParameters(state.AppFolder, state.SetUp);
            const FileOutcome saved =
                SaveGeneralParameters(state.AppFolder, state.SetUp.GeneralLabel, "3", "2");
            const QString refused = GeneralParametersFile + ": cannot open (Permission denied)";
            std::_Exit((state.SetUp.SerialLine == 4 ? 0 : 1) +
                       (state.SetUp.ChannelParam[1][Declarations::Gain] == "1" ? 0 : 2) +
                       (saved.message.contains(refused) ? 0 : 4));
        },
        ::testing::ExitedWithCode(0), "");
}

// An empty channel file is read, and gives the default channels, as the
// programs beside the logger read it.
TEST_F(SetupFiles, AnEmptyChannelFileGivesTheDefaultChannels) {
    WriteBytes(SettingPath(ChannelParametersFile), "");
    const ChannelSetUp setUp = ReadChannelSettings(state.AppFolder + "/settingfiles", LinkPolicy::Refuse);
    EXPECT_TRUE(setUp.Read()) << qPrintable(setUp.problem);
    EXPECT_EQ(setUp.channels[7].name, "Ch.8");
}

// Load replaces the set-up in use only when both files read; Save tries both
// files and reports each that fails (a folder stands in place of one that
// does not read).
TEST_F(SetupFiles, LoadTakesBothFilesOrNoneAndSaveTriesBoth) {
    for (const auto& [channels, general] :
         {std::pair{true, true}, std::pair{false, true}, std::pair{true, false}}) {
        QDir(state.AppFolder + "/settingfiles").removeRecursively();
        QDir().mkpath(SettingPath(channels ? "" : ChannelParametersFile));
        QDir().mkpath(SettingPath(general ? "" : GeneralParametersFile));
        if (general)
            WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{16, "4"}}));
        if (channels)
            WriteBytes(SettingPath(ChannelParametersFile), DefaultChannelRecords().join("").toLatin1());
        state.SetUp.SerialLine = 7;
        const LoadedSetUp loaded = LoadSetUp(state.AppFolder, state.SetUp);
        EXPECT_EQ(loaded.failures.size(), int(!channels) + int(!general))
            << qPrintable(loaded.failures.join(';'));
        ASSERT_EQ(loaded.setUp.has_value(), channels && general);
        if (loaded.setUp) {
            EXPECT_EQ(std::tie(loaded.setUp->SerialLine, loaded.setUp->ChannelParam[3][Declarations::Gain]),
                      std::make_tuple(4, QString("1")));
        }
        SetUpEntries entries{{}, {}, "3", "2"};
        entries.gains.fill("2");
        const QStringList failures = SaveSetUp(state.AppFolder, state.SetUp.GeneralLabel, entries);
        EXPECT_EQ(failures.size(), int(!channels) + int(!general));
        EXPECT_TRUE(channels || failures.value(0).contains(ChannelParametersFile))
            << qPrintable(failures.value(0));
        EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)).mid(At(16, 22), 1), general ? "3" : "");
    }
}

} // namespace

// The set-up files: what is read from which columns, and the default set-up.
// The window's Save and the set-up fuzz target check what a save writes.
TEST(GeneralDecode, OnlyTheFirstCharacterOfRecords16And17Counts) {
    const std::tuple<const char*, int, int> rows[] = {{"1", 1, 1},  {"8", 8, 8}, {"0", 1, 0},    {"9", 1, 9},
                                                      {"12", 1, 1}, {"x", 1, 0}, {"   4", 1, 0}, {"", 1, 0}};
    for (const auto& [value, serialLine, storageRate] : rows)
        EXPECT_EQ(std::make_pair(DecodeSerialLine(value), DecodeStorageRate(value)),
                  std::make_pair(serialLine, storageRate))
            << '"' << value << '"';
}

TEST_F(AppFolderTest, DefaultSetupIsWholeOrAbsentDecodesAndNeverOverwrites) {
    FileOutcome installed;
    {
        FileSizeLimit full(1000); // a third of the general file
        ASSERT_TRUE(full.Active());
        installed = InstallDefaultSetup(state.AppFolder);
    }
    EXPECT_FALSE(installed);
    EXPECT_EQ(installed.message.section('/', -1), "generalparameters.txt: cannot write (File too large)");
    EXPECT_EQ(QDir(state.AppFolder + "/settingfiles").entryList(QDir::Files | QDir::Hidden), QStringList());

    // With room again the next start installs the whole set-up.
    ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
    EXPECT_TRUE(QFileInfo(DataPath("")).isDir() &&
                QFileInfo(SettingPath(GeneralParametersFile)).size() == 40 * 80);
    ASSERT_TRUE(ReadGeneralParameters(state.AppFolder, state.SetUp) &&
                ReadChannelParameters(state.AppFolder, state.SetUp));
    EXPECT_EQ(std::tie(state.SetUp.SerialLine, state.SetUp.StorageRate), std::make_tuple(1, 1));
    for (const auto& channel : {state.SetUp.ChannelParam[1], state.SetUp.ChannelParam[8]})
        EXPECT_EQ(channel[Declarations::Gain] + channel[Declarations::Zero] +
                      channel[Declarations::SensorType],
                  "100");

    WriteBytes(SettingPath(GeneralParametersFile), "operator's own");
    // A dangling link planted in place of a file is kept, never written through.
    ASSERT_TRUE(QFile::remove(SettingPath(ChannelParametersFile)) &&
                QFile::link(state.AppFolder + "/elsewhere", SettingPath(ChannelParametersFile)));
    ASSERT_TRUE(InstallDefaultSetup(state.AppFolder));
    EXPECT_EQ(ReadBytes(SettingPath(GeneralParametersFile)), "operator's own");
    EXPECT_FALSE(QFileInfo::exists(state.AppFolder + "/elsewhere"));
}

// The checks of the window's serial line and storage rate boxes: bounds
// inclusive and compared as reals, a text in range kept as typed, the rate
// box naming its rate ("0" and "-2" typed: the window's Enter and focus test).
TEST(EntryChecks, KeepTheBoxesInRange) {
    Declarations state;
    FillStorageRateNames(state.StorageRateName);
    // Box, typed, then what it holds and Label9(5)'s caption (nullptr: left alone).
    const std::tuple<int, const char*, const char*, const char*> rows[] = {
        {4, "8", "8", nullptr},     {4, "8.5", "1", nullptr},      {4, " 3.7 x", " 3.7 x", nullptr},
        {4, "1.0", "1.0", nullptr}, {4, "1E999", "1", nullptr},    {5, "9.5", "0", "Off"},
        {5, "", "", "Off"},         {5, "2.5", "2.5", "1 minute"}, {5, "8.5", "8.5", "12 hours"}};
    for (const auto& [box, typed, text, caption] : rows) {
        const EntryCheck check = CheckEntry(state.StorageRateName, box, QString::fromLatin1(typed));
        EXPECT_EQ(std::tuple(check.text, check.setsCaption, check.caption),
                  std::tuple(QString(text), caption != nullptr, QString(caption ? caption : "")))
            << box << " [" << typed << "]";
    }
}

// What counts as an alarm limit, for every program that reads one: a plain
// decimal only.
TEST(LimitGrammar, ReadsAPlainDecimalOnly) {
    using K = LimitField::Kind;
    const std::tuple<QString, K, double> rows[] = {{"   ", K::Blank, 0},      {"  +12.5 ", K::Number, 12.5},
                                                   {"-.5", K::Number, -0.5},  {"7.", K::Number, 7},
                                                   {".", K::Unreadable, 0},   {"1e3", K::Unreadable, 0},
                                                   {"1,5", K::Unreadable, 0}, {"1 0", K::Unreadable, 0}};
    for (const auto& [field, kind, value] : rows) {
        const LimitField limit = ParseLimit(field);
        EXPECT_EQ(std::tuple(limit.kind, limit.value, limit.text), std::tuple(kind, value, field.trimmed()))
            << qPrintable(field);
    }
}
