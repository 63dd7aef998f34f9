// The set-up files under faults: every reader and writer of the general,
// channel and acquisition status files runs on each row's damaged or missing
// files. The decoded set-up falls back to serial line 1 and storage rate 0
// where the files say nothing usable; a file that cannot be used is reported
// (outcome and stderr); reading never changes a byte, and saving changes only
// the bytes it means to.
#include "acquisition/AcquisitionStatus.h"
#include "app/Starting.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QFileInfo>

#include <array>
#include <optional>
#include <string>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A general file of forty labelled records: serial line 4, storage rate 7,
// long values elsewhere.
QByteArray IntactFile() {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n) {
        const QByteArray value = n == 16   ? "4"
                                 : n == 17 ? "7"
                                           : "value " + QByteArray::number(n).repeated(20);
        bytes += Record(("Label " + QByteArray::number(n)).leftJustified(21, '.') + value);
    }
    return bytes;
}

// `bytes` with records first..last replaced by `make(record as read, r)`: a
// short last record is completed and any gap filled with blank records first.
template <typename F> QByteArray Rewrite(QByteArray bytes, int first, int last, F make) {
    const QByteArray blank = Record("");
    if (bytes.size() % 80 != 0 && bytes.size() < (first - 1) * 80)
        bytes += blank.mid(bytes.size() % 80);
    while (bytes.size() < (first - 1) * 80)
        bytes += blank;
    for (int r = first; r <= last; ++r)
        bytes.replace((r - 1) * 80, 80, make(bytes.mid((r - 1) * 80, 80).leftJustified(80, ' '), r));
    return bytes;
}

// What a path holds, to tell whether an operation changed it.
QByteArray Take(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() ? "<folder>" : info.exists() ? "<file>" + ReadBytes(path) : "<none>";
}

enum class Layout { Contents, FolderMissing, FolderIsAFile, FilesAreFolders };

struct SetupFault {
    const char* name;
    Layout layout;
    QByteArray contents;         // of all three files
    int serialLine, storageRate; // decoded
    int failing;           // writers that fail: none, general, general and channels, all (files unusable)
    bool fullDisk = false; // no file grows more than 100 bytes while saving
};

void PrintTo(const SetupFault& c, std::ostream* os) {
    *os << c.name;
}

class SetupFileFaults : public AppFolderTest, public ::testing::WithParamInterface<SetupFault> {
  protected:
    const QString Names[3] = {GeneralParametersFile, ChannelParametersFile, AcquisitionStatusFile};
    QString stderr_;

    void ExpectReported(const FileOutcome& outcome, const QString& name) {
        EXPECT_FALSE(outcome) << qPrintable(name);
        EXPECT_TRUE(!outcome.message.isEmpty() && stderr_.contains(outcome.message))
            << qPrintable(name) << ": " << qPrintable(stderr_);
    }
};

TEST_P(SetupFileFaults, ReadAndSaveEveryFile) {
    const SetupFault& c = GetParam();
    if (c.layout == Layout::FolderIsAFile)
        WriteBytes(d.AppFolder + "/settingfiles", "a plain file where the folder belongs");
    for (const QString& name : Names) {
        if (c.layout == Layout::Contents)
            WriteBytes(SettingPath(name), c.contents);
        if (c.layout == Layout::FilesAreFolders) {
            ASSERT_TRUE(QDir().mkpath(SettingPath(name)));
        }
    }
    QByteArray before[3];
    for (int i = 0; i < 3; ++i)
        before[i] = Take(SettingPath(Names[i]));

    // --- Reading ---
    FillNameTables(d.StorageRateName);
    d.SetUp.SerialLine = 5; // whatever an earlier read left
    d.SetUp.StorageRate = 5;
    const auto read = WithStderr(stderr_, [&] {
        return std::array{ReadGeneralParameters(d.AppFolder, d.SetUp),
                          ReadChannelParameters(d.AppFolder, d.SetUp), ReadAcquisitionStatus(d.AppFolder)};
    });
    for (int i = 0; i < 3; ++i)
        if (c.failing < 3)
            EXPECT_TRUE(read[i]) << qPrintable(read[i].message);
        else
            ExpectReported(read[i], Names[i]);
    EXPECT_EQ(d.SetUp.SerialLine, c.serialLine);
    EXPECT_EQ(d.SetUp.StorageRate, c.storageRate);
    for (int n = 1; n <= 40; ++n)
        EXPECT_TRUE(d.SetUp.GeneralLabel[n].size() == 21 && d.SetUp.GeneralValue[n].size() == 56)
            << "record " << n;

    // Reading creates what is missing and changes nothing that was there.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Take(SettingPath(Names[i])), c.layout == Layout::FolderMissing ? "<file>" : before[i])
            << qPrintable(Names[i]);
        before[i] = Take(SettingPath(Names[i]));
    }

    // --- Saving, each writer on its own file ---
    ChannelTexts gains, zeros;
    gains.fill("1.5");
    zeros.fill("-2");
    d.AcquisitionFlag = "1";
    const auto saved = WithStderr(stderr_, [&] {
        std::optional<FileSizeLimit> full; // the messages are short: they fit under the limit
        if (c.fullDisk)
            full.emplace(rlim_t(before[0].size() + 100)); // part of a record fits
        return std::array{SaveGeneralParameters(d.AppFolder, d.SetUp.GeneralLabel, "3", "2"),
                          SaveChannelParameters(d.AppFolder, gains, zeros),
                          WriteAcquisitionStatus(d.AppFolder, d.AcquisitionFlag)};
    });
    for (int i = 0; i < 3; ++i) {
        const QByteArray now = Take(SettingPath(Names[i]));
        if (i < c.failing) {
            ExpectReported(saved[i], Names[i]);
            EXPECT_EQ(now, before[i]) << qPrintable(Names[i]) << " changed on a failed save";
            continue;
        }
        EXPECT_TRUE(saved[i]) << qPrintable(saved[i].message);
        // The bytes it means to change, and only those.
        const auto rewritten = [i](const QByteArray& rec, int r) -> QByteArray {
            if (i == 0)
                return rec.left(21) + QByteArray(r == 16 ? "3" : "2").leftJustified(56) + "*\r\n";
            if (i == 1)
                return rec.left(35) + "1.5      ;-2       ;" + rec.mid(55, 22) + "*\r\n";
            return rec.left(21) + "1" + rec.mid(22, 21) + QByteArray(37, ' ');
        };
        const int first[] = {16, 11, 1}, last[] = {17, 18, 1};
        EXPECT_EQ(now, "<file>" + Rewrite(before[i].mid(6), first[i], last[i], rewritten))
            << qPrintable(Names[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SetupFileFaults,
    ::testing::Values(SetupFault{"Intact", Layout::Contents, IntactFile(), 4, 7, 0},
                      // Missing pieces are created.
                      SetupFault{"FolderMissing", Layout::FolderMissing, {}, 1, 0, 0},
                      // Damaged contents: read as far as they go, never beyond.
                      SetupFault{"CutInRecord17", Layout::Contents, IntactFile().left(16 * 80 + 19), 4, 0, 0},
                      SetupFault{"NulFilled", Layout::Contents, QByteArray(3001, '\0'), 1, 0, 0},
                      // Files that cannot be used: reported, fall-backs, nothing touched.
                      SetupFault{"FolderIsAFile", Layout::FolderIsAFile, {}, 1, 0, 3},
                      SetupFault{"FilesAreFolders", Layout::FilesAreFolders, {}, 1, 0, 3},
                      // A full disk: what must grow fails and stays as it was; a
                      // rewrite in place still succeeds.
                      SetupFault{"FullDiskShortFiles", Layout::Contents, IntactFile().left(5 * 80), 1, 0, 2,
                                 true},
                      SetupFault{"FullDiskWholeFiles", Layout::Contents, IntactFile(), 4, 7, 0, true}),
    RowName);

class SetupFiles : public AppFolderTest {};

// A set-up the operator may read but not write (installed by an administrator,
// on a read-only share) is read as it is, while Save fails naming the file and
// the reason. Root writes whatever the permissions say, so the child that
// reads drops to nobody, and reports what it found in its exit status.
TEST_F(SetupFiles, AWriteProtectedSetupIsStillRead) {
    WriteBytes(SettingPath(GeneralParametersFile), IntactFile());
    WriteBytes(SettingPath(ChannelParametersFile), DefaultChannelRecords().join("").toLatin1());
    for (const QString& name : {GeneralParametersFile, ChannelParametersFile})
        ASSERT_EQ(chmod(qPrintable(SettingPath(name)), 0444), 0);
    ASSERT_EQ(chmod(qPrintable(d.AppFolder), 0711), 0);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                std::_Exit(64);
            ReadGeneralParameters(d.AppFolder, d.SetUp);
            ReadChannelParameters(d.AppFolder, d.SetUp);
            const FileOutcome saved = SaveGeneralParameters(d.AppFolder, d.SetUp.GeneralLabel, "3", "2");
            const QString refused = GeneralParametersFile + ": cannot open (Permission denied)";
            std::_Exit((d.SetUp.SerialLine == 4 ? 0 : 1) +
                       (d.SetUp.ChannelParam[1][Declarations::Gain] == "1" ? 0 : 2) +
                       (saved.message.contains(refused) ? 0 : 4));
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
