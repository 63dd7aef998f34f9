// The set-up files under faults: every reader and writer of the general,
// channel and acquisition status files runs on each row's damaged or missing
// files. Nothing crashes; the decoded set-up falls back to serial line 1 and
// storage rate 0 where the files say nothing usable; a file that cannot be
// used is reported (outcome and stderr); reading never changes a byte, and
// saving changes only the bytes it means to.
#include "acquisition/AcquisitionStatus.h"
#include "app/Starting.h"
#include "config/DefaultSetup.h"
#include "config/GettingParameters.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <optional>
#include <string>

namespace {

// A general file of forty labelled records: serial line 4, storage rate 7.
QByteArray IntactGeneralFile() {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n) {
        const QByteArray value = n == 16 ? "4" : n == 17 ? "7" : n == 21 ? "2" : "value";
        bytes += Record(("Label " + QByteArray::number(n)).leftJustified(21, '.') + value);
    }
    return bytes;
}

QByteArray Noise(int size) {
    QRandomGenerator random(42);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// Record r of `bytes` as a reader sees it: 80 bytes, blanks where the file
// has none.
QByteArray RecordAsRead(const QByteArray& bytes, int r) {
    return bytes.mid((r - 1) * 80, 80).leftJustified(80, ' ');
}

// `bytes` after writing record r: a short last record completed and any gap
// filled with blank records ending in "*", CR, LF, then record r replaced.
QByteArray WithRecord(QByteArray bytes, int r, const QByteArray& record) {
    const QByteArray blank = Record("");
    if (bytes.size() % 80 != 0 && bytes.size() < (r - 1) * 80)
        bytes += blank.mid(bytes.size() % 80);
    while (bytes.size() < (r - 1) * 80)
        bytes += blank;
    return bytes.replace((r - 1) * 80, 80, record);
}

enum class Layout {
    FolderMissing,        // no settingfiles folder
    FilesMissing,         // the folder, empty
    Contents,             // the row's bytes in all three files
    SettingFolderIsAFile, // a plain file where the folder belongs
    FilesAreFolders,      // a folder in place of each file
    FilesAreFullDevices,  // each file a link to /dev/full: reads empty, writes fail
};

enum Operation { SaveGeneral, SaveChannels, WriteStatus, OperationCount };

struct SetupFault {
    const char* name;
    Layout layout;
    QByteArray contents;
    bool readable;   // the readers can open the files
    int serialLine;  // decoded; 0: anything from 1 to 8
    int storageRate; // decoded; -1: anything from 0 to 9
    bool saves[OperationCount];
    bool limitToSize = false; // a full disk: no file grows more than 100 bytes
};

void PrintTo(const SetupFault& c, std::ostream* os) {
    *os << c.name;
}

class SetupFileFaults : public AppFolderTest, public ::testing::WithParamInterface<SetupFault> {
  protected:
    const QString Names[3] = {GeneralParametersFile, ChannelParametersFile, AcquisitionStatusFile};

    void Prepare(const SetupFault& c) {
        const QString folder = d.AppFolder + "/settingfiles";
        switch (c.layout) {
        case Layout::FolderMissing:
            break;
        case Layout::FilesMissing:
            ASSERT_TRUE(QDir().mkpath(folder));
            break;
        case Layout::Contents:
            for (const QString& name : Names)
                WriteBytes(SettingPath(name), c.contents);
            break;
        case Layout::SettingFolderIsAFile:
            WriteBytes(folder, "a plain file where the folder belongs");
            break;
        case Layout::FilesAreFolders:
            for (const QString& name : Names)
                ASSERT_TRUE(QDir().mkpath(SettingPath(name)));
            break;
        case Layout::FilesAreFullDevices:
            ASSERT_TRUE(QDir().mkpath(folder));
            for (const QString& name : Names)
                ASSERT_TRUE(QFile::link("/dev/full", SettingPath(name)));
            break;
        }
    }

    // What a path holds, to tell whether an operation changed it.
    struct Snapshot {
        bool isFile = false, isDir = false, isLink = false;
        QByteArray bytes;
        bool operator==(const Snapshot&) const = default;
    };
    static Snapshot Take(const QString& path) {
        const QFileInfo info(path);
        Snapshot s{info.isFile(), info.isDir(), info.isSymLink(), {}};
        if (s.isFile && !s.isLink)
            s.bytes = ReadBytes(path);
        return s;
    }

    // Runs one operation, capturing what it writes to stderr.
    template <typename F> FileOutcome Run(F operation) {
        ::testing::internal::CaptureStderr();
        const FileOutcome outcome = operation();
        stderr_ = QString::fromStdString(::testing::internal::GetCapturedStderr());
        return outcome;
    }

    void ExpectReported(const FileOutcome& outcome, const char* what) {
        EXPECT_FALSE(outcome.message.isEmpty()) << what;
        EXPECT_TRUE(stderr_.contains(outcome.message)) << what << ": " << qPrintable(stderr_);
    }

    QString stderr_;
};

TEST_P(SetupFileFaults, ReadAndSaveEveryFile) {
    const SetupFault& c = GetParam();
    Prepare(c);
    if (HasFatalFailure())
        return;
    const QString folder = d.AppFolder + "/settingfiles";
    Snapshot before[3];
    for (int i = 0; i < 3; ++i)
        before[i] = Take(SettingPath(Names[i]));
    const Snapshot folderBefore = Take(folder);

    // --- Reading ---
    FillNameTables(d);
    d.SerialLine = 5; // whatever an earlier read left
    d.StorageRate = 5;
    const FileOutcome general = Run([&] { return ReadGeneralParameters(d); });
    if (!c.readable)
        ExpectReported(general, "general read");
    const FileOutcome channels = Run([&] { return ReadChannelParameters(d); });
    if (!c.readable)
        ExpectReported(channels, "channel read");
    const FileOutcome status = Run([&] { return ReadAcquisitionStatus(d); });
    if (!c.readable)
        ExpectReported(status, "status read");
    EXPECT_EQ(bool(general), c.readable);
    EXPECT_EQ(bool(channels), c.readable);
    EXPECT_EQ(bool(status), c.readable);

    if (c.serialLine > 0) {
        EXPECT_EQ(d.SerialLine, c.serialLine);
    } else {
        EXPECT_GE(d.SerialLine, 1);
        EXPECT_LE(d.SerialLine, 8);
    }
    if (c.storageRate >= 0) {
        EXPECT_EQ(d.StorageRate, c.storageRate);
    } else {
        EXPECT_GE(d.StorageRate, 0);
        EXPECT_LE(d.StorageRate, 9);
    }
    for (int n = 1; n <= 40; ++n) {
        EXPECT_EQ(d.GeneralLabel[n].size(), 21) << "record " << n;
        EXPECT_EQ(d.GeneralValue[n].size(), 56) << "record " << n;
    }
    for (int ch = 1; ch <= 8; ++ch)
        for (int j = 1; j <= 9; ++j) {
            const QString& field = d.ChannelParam[ch][j];
            EXPECT_TRUE(field.isEmpty() || (field.front() != u' ' && field.back() != u' '))
                << "channel " << ch << " field " << j << " untrimmed";
        }
    EXPECT_EQ(d.RecordBuffer.size(), 80);

    // Reading creates what is missing and changes nothing that was there.
    for (int i = 0; i < 3; ++i) {
        const Snapshot now = Take(SettingPath(Names[i]));
        if (c.layout == Layout::FolderMissing || c.layout == Layout::FilesMissing)
            EXPECT_EQ(now, (Snapshot{true, false, false, {}})) << qPrintable(Names[i]);
        else
            EXPECT_EQ(now, before[i]) << qPrintable(Names[i]);
        before[i] = now;
    }

    // --- Saving, each operation on its own file ---
    ChannelTexts gains, zeros;
    gains.fill("1.5");
    zeros.fill("-2");
    d.AcquisitionFlag = "1";
    FileOutcome saved[OperationCount];
    ::testing::internal::CaptureStderr(); // short messages: they fit under the limit below
    {
        std::optional<FileSizeLimit> full;
        if (c.limitToSize)
            full.emplace(rlim_t(before[0].bytes.size() + 100)); // part of a record fits
        saved[SaveGeneral] = SaveGeneralParameters(d, "3", "2");
        saved[SaveChannels] = SaveChannelParameters(d, gains, zeros);
        saved[WriteStatus] = WriteAcquisitionStatus(d);
        if (full) {
            EXPECT_TRUE(full->Active());
        }
    }
    stderr_ = QString::fromStdString(::testing::internal::GetCapturedStderr());

    const char* names[] = {"general save", "channel save", "status write"};
    for (int op = 0; op < OperationCount; ++op) {
        EXPECT_EQ(bool(saved[op]), c.saves[op]) << names[op] << ": " << qPrintable(saved[op].message);
        if (!saved[op]) {
            ExpectReported(saved[op], names[op]);
            EXPECT_EQ(Take(SettingPath(Names[op])), before[op])
                << names[op] << " changed a file it failed on";
            continue;
        }
        // The bytes it means to change, and only those.
        const QByteArray old = before[op].bytes;
        QByteArray expected;
        if (op == SaveGeneral) {
            expected =
                WithRecord(old, 16, RecordAsRead(old, 16).left(21) + "3" + QByteArray(55, ' ') + "*\r\n");
            expected = WithRecord(expected, 17,
                                  RecordAsRead(old, 17).left(21) + "2" + QByteArray(55, ' ') + "*\r\n");
        } else if (op == SaveChannels) {
            expected = old;
            for (int r = 11; r <= 18; ++r) {
                const QByteArray rec = RecordAsRead(old, r);
                expected = WithRecord(expected, r,
                                      rec.left(35) + "1.5      ;-2       ;" + rec.mid(55, 22) + "*\r\n");
            }
        } else {
            const QByteArray rec = RecordAsRead(old, 1);
            expected = WithRecord(old, 1, rec.left(21) + "1" + rec.mid(22, 21) + QByteArray(37, ' '));
        }
        EXPECT_EQ(ReadBytes(SettingPath(Names[op])), expected) << names[op];
    }
    if (c.layout == Layout::SettingFolderIsAFile) {
        EXPECT_EQ(Take(folder), folderBefore);
    }

    // What was saved is what the next read decodes.
    if (saved[SaveGeneral] && saved[SaveChannels]) {
        ASSERT_TRUE(ReadGeneralParameters(d));
        ASSERT_TRUE(ReadChannelParameters(d));
        EXPECT_EQ(d.SerialLine, 3);
        EXPECT_EQ(d.StorageRate, 2);
        EXPECT_EQ(d.ChannelParam[8][Declarations::Gain], "1.5");
        EXPECT_EQ(d.ChannelParam[8][Declarations::Zero], "-2");
    }
}

constexpr bool AllSave[] = {true, true, true};
constexpr bool NoneSaves[] = {false, false, false};

SetupFault Row(const char* name, Layout layout, QByteArray contents, bool readable, int serial, int rate,
               const bool (&saves)[OperationCount], bool limitToSize = false) {
    SetupFault row{name, layout, std::move(contents), readable, serial, rate, {}, limitToSize};
    std::copy(std::begin(saves), std::end(saves), row.saves);
    return row;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SetupFileFaults,
    ::testing::Values(
        Row("Intact", Layout::Contents, IntactGeneralFile(), true, 4, 7, AllSave),
        // Missing pieces are created; an empty file reads as blanks.
        Row("FolderMissing", Layout::FolderMissing, {}, true, 1, 0, AllSave),
        Row("FilesMissing", Layout::FilesMissing, {}, true, 1, 0, AllSave),
        Row("Empty", Layout::Contents, {}, true, 1, 0, AllSave),
        // Damaged contents: read as far as they go, never beyond.
        Row("OneRecordOnly", Layout::Contents, Record("Label"), true, 1, 0, AllSave),
        Row("CutInRecord17", Layout::Contents, IntactGeneralFile().left(16 * 80 + 19), true, 4, 0, AllSave),
        Row("CutInRecord16Value", Layout::Contents, IntactGeneralFile().left(15 * 80 + 21), true, 1, 0,
            AllSave),
        Row("OneByte", Layout::Contents, "5", true, 1, 0, AllSave),
        Row("NulFilled", Layout::Contents, QByteArray(3200, '\0'), true, 1, 0, AllSave),
        Row("RandomBytes", Layout::Contents, Noise(3001), true, 0, -1, AllSave),
        Row("NoLineStructure", Layout::Contents, QByteArray(4000, 'x'), true, 1, 0, AllSave),
        // Files that cannot be used: reported, fall-backs, nothing touched.
        Row("SettingFolderIsAFile", Layout::SettingFolderIsAFile, {}, false, 1, 0, NoneSaves),
        Row("FilesAreFolders", Layout::FilesAreFolders, {}, false, 1, 0, NoneSaves),
        Row("DiskFull", Layout::FilesAreFullDevices, {}, true, 1, 0, NoneSaves),
        // A full disk: what must grow fails and stays as it was; a rewrite in
        // place still succeeds.
        Row("FullDiskShortFiles", Layout::Contents, IntactGeneralFile().left(5 * 80), true, 1, 0,
            {false, false, true}, true),
        Row("FullDiskWholeFiles", Layout::Contents, IntactGeneralFile(), true, 4, 7, AllSave, true)),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
