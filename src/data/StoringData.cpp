#include "data/StoringData.h"

#include "common/TextHelpers.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarvek {

// --- Storage schedule ---

bool IsStoreDue(int storageRate, const QString& timeText) {
    const QString hh = timeText.mid(0, 2);
    const QString mm = timeText.mid(3, 2);
    const QString m1 = timeText.mid(4, 1);
    const QString ss = timeText.mid(6, 2);
    const bool minute = ss == u"00";
    const bool hour = minute && mm == u"00";
    switch (storageRate) {
    case 1:
        return ss == u"00" || ss == u"30";
    case 2:
        return minute;
    case 3:
        return minute && (m1 == u"0" || m1 == u"5");
    case 4:
        return minute && m1 == u"0";
    case 5:
        return minute && (mm == u"00" || mm == u"30");
    case 6:
        return hour;
    case 7:
        return hour && (hh == u"00" || hh == u"06" || hh == u"12" || hh == u"18");
    case 8:
        return hour && (hh == u"00" || hh == u"12");
    case 9:
        return hour && hh == u"12";
    default: // 0 "Off", and any code the set-up does not know
        return false;
    }
}

void CheckStorageDue(Declarations& state) {
    state.StoreDue = IsStoreDue(state.SetUp.StorageRate, state.ScanTime) ? 1 : 0;
}

// --- Data files ---

namespace {

constexpr int BodyLength = DataRecordLength - 3; // before "*", CR, LF
constexpr int ChannelBlocks = Declarations::ChannelCount;

QString Terminated(const QString& body) {
    return FixedText(body, BodyLength) + RecordTerminator;
}

// "mm-yyyy" of a "dd-mm-yyyy" stamp, then what the month's file holds.
QString MonthFileName(const QString& scanDate, const char16_t* what) {
    return scanDate.mid(3, 7) + QString::fromUtf16(what);
}

} // namespace

QString DataFileName(const QString& scanDate) {
    return MonthFileName(scanDate, u"-Data.txt");
}

QString EventFileName(const QString& scanDate) {
    return MonthFileName(scanDate, u"-Events.txt");
}

QString DataFileHeader(int count) {
    QString body = QStringLiteral("Lastrecord;   ") +
                   QString::number(count).rightJustified(HeaderCountWidth, u' ') + u';';
    for (int k = 0; k < ChannelBlocks; ++k)
        body +=
            QString(ValueFieldWidth, u' ') + u';' + QString(BlockLength - ValueFieldWidth - 2, u' ') + u';';
    return Terminated(body);
}

QString BuildDataRecord(const Declarations& state) {
    QString body = FixedText(state.ScanDate, DateWidth) + u';' + FixedText(state.ScanTime, TimeWidth) + u';';
    for (int k = 1; k <= ChannelBlocks; ++k)
        body += FixedText(state.ChannelValue[k], ValueFieldWidth) + QLatin1StringView(UnitText);
    return Terminated(body);
}

std::optional<int> ReadHeaderCount(const QString& headerRecord) {
    const double count = LeadingNumber(headerRecord.mid(HeaderCountAt, HeaderCountWidth));
    if (count < 1 || count > MaxDataRecords || count != std::floor(count))
        return std::nullopt;
    return static_cast<int>(count);
}

QString CountDisagreesText(const QString& path, std::optional<int> headerCount, qint64 fileSize) {
    const QString count = headerCount ? QString::number(*headerCount) : QStringLiteral("nothing readable");
    return QStringLiteral("%1: the header counts %2, the file holds %3 data records")
        .arg(QDir::toNativeSeparators(path), count)
        .arg(std::max<qint64>(fileSize / DataRecordLength - 1, 0));
}

namespace {

// The count of the last data record in the file (LastDataRecord); a count
// that disagrees is reported on stderr.
FileOutcome LastRecordCount(RecordFile& file, int* count) {
    *count = 0;
    if (file.Size() < DataRecordLength)
        return {};
    FileOutcome outcome;
    const QString header = file.Read(1, &outcome);
    if (!outcome)
        return outcome;
    const std::optional<int> headerCount = ReadHeaderCount(header);
    const DataFileEnd end = LastDataRecord(file.Size() / DataRecordLength, headerCount);
    if (end.countDisagrees)
        std::fprintf(stderr, "tarvek: %s; storing after record %d\n",
                     qPrintable(CountDisagreesText(file.Path(), headerCount, file.Size())), end.last);
    *count = end.last;
    return {};
}

FileOutcome WriteDataRecord(const QString& record, RecordFile& file) {
    int last = 0;
    if (FileOutcome read = LastRecordCount(file, &last); !read)
        return read;
    const int count = last + 1 > MaxDataRecords ? 1 : last + 1;

    // A torn last record that the new one does not replace (after the wrap,
    // the count names an earlier record) is made whole, so the file never keeps a partial
    // line. A torn header is rewritten below anyway.
    const qint64 tornRecord = file.Size() % DataRecordLength != 0 ? file.Size() / DataRecordLength + 1 : 0;
    if (tornRecord > 1 && tornRecord != count + 1)
        if (FileOutcome completed = file.CompleteLastRecord(); !completed)
            return completed;

    // The record first, then the count, each synced: a failure, a kill or a
    // power cut in between leaves the old count, which still names a whole
    // record; the disk may otherwise write the raised count first.
    if (FileOutcome written = file.Write(count + 1, record); !written)
        return written;
    if (FileOutcome synced = file.Sync(); !synced)
        return synced;
    if (FileOutcome written = file.Write(1, DataFileHeader(count)); !written)
        return written;
    return file.Sync();
}

} // namespace

QString DataFilePath(const Declarations& state) {
    return DataFolderPath(state.AppFolder) + u'/' + DataFileName(state.ScanDate);
}

FileOutcome StoreDataRecord(const Declarations& state) {
    FileOutcome outcome = EnsureFolder(DataFolderPath(state.AppFolder));
    if (outcome) {
        RecordFile file(DataRecordLength);
        outcome = file.Open(DataFilePath(state), RecordFile::Access::Write);
        if (outcome)
            outcome = WriteDataRecord(BuildDataRecord(state), file);
        file.Close();
    }
    return ReportFailure(outcome);
}

} // namespace tarvek
