#include "data/DataFileReader.h"

#include "data/StoringData.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace tarvek {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number of two digits at `p`, or -1.
int TwoDigits(const char* p) {
    return IsDigit(p[0]) && IsDigit(p[1]) ? (p[0] - '0') * 10 + (p[1] - '0') : -1;
}

// "dd-mm-yyyy" and "hh:mm:ss" as milliseconds of the wall clock from
// 1970-01-01, or false when either does not exist.
bool ReadStamp(const char* p, qint64* localMs) {
    if (p[2] != '-' || p[5] != '-' || p[DateWidth] != ';' || p[13] != ':' || p[16] != ':' ||
        p[FirstBlock - 1] != ';')
        return false;
    const int day = TwoDigits(p), month = TwoDigits(p + 3), century = TwoDigits(p + 6),
              year = TwoDigits(p + 8);
    const int hour = TwoDigits(p + 11), minute = TwoDigits(p + 14), second = TwoDigits(p + 17);
    if (std::min({day, month, century, year, hour, minute, second}) < 0 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    const QDate date(century * 100 + year, month, day);
    if (!date.isValid())
        return false;
    *localMs = ((date.toJulianDay() - UnixEpochDay) * 86400 + hour * 3600 + minute * 60 + second) * 1000;
    return true;
}

// A 9-character value text: blanks, a sign, digits without a leading zero,
// and a point with digits or nothing; or one of the two gap texts.
bool ReadValue(const char* p, StoredValue* value) {
    if (std::memcmp(p, " No Data ", 9) == 0) {
        *value = StoredValue::FromGap(StoredValue::NoData);
        return true;
    }
    if (std::memcmp(p, " ======= ", 9) == 0) {
        *value = StoredValue::FromGap(StoredValue::Invalid);
        return true;
    }
    int i = 0;
    while (i < 9 && p[i] == ' ')
        ++i;
    if (i >= 8 || (p[i] != '+' && p[i] != '-'))
        return false;
    const bool negative = p[i++] == '-';
    // The logger writes no leading zeros: "+01.000" is not its text.
    if (i + 1 < 9 && p[i] == '0' && IsDigit(p[i + 1]))
        return false;
    std::int32_t digits = 0;
    int integerDigits = 0, decimals = -1;
    for (; i < 9; ++i) {
        if (p[i] == '.' && decimals < 0 && integerDigits > 0) {
            decimals = 0;
            continue;
        }
        if (!IsDigit(p[i]))
            return false;
        digits = digits * 10 + (p[i] - '0');
        (decimals < 0 ? integerDigits : decimals) += 1;
    }
    if (integerDigits == 0 || decimals == 0)
        return false;
    *value = StoredValue::FromDigits(negative ? -digits : digits, std::max(decimals, 0));
    return true;
}

} // namespace

QByteArray StoredValue::Text() const {
    char text[12];
    return QByteArray(text, WriteText(text));
}

int StoredValue::WriteText(char* out) const {
    if (IsGap())
        return 0;
    const std::int32_t digits = Digits();
    std::uint32_t rest = digits < 0 ? std::uint32_t(-digits) : std::uint32_t(digits);
    // The digits backwards, the point after `decimals` of them, at least one
    // digit before the point.
    char reversed[12];
    int n = 0;
    const int decimals = Decimals();
    do {
        if (n == decimals && decimals > 0)
            reversed[n++] = '.';
        reversed[n++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0 || n <= decimals);
    int length = 0;
    if (digits < 0)
        out[length++] = '-';
    while (n > 0)
        out[length++] = reversed[--n];
    return length;
}

RecordKind ParseDataRecord(const char* bytes, StoredRecord* record) {
    const char* end = bytes + DataRecordLength - 4;
    if (std::memcmp(end, RecordEnding, 4) != 0)
        return RecordKind::NotData;
    if (std::all_of(bytes, end, [](char c) { return c == ' '; }))
        return RecordKind::Blank;
    if (!ReadStamp(bytes, &record->localMs))
        return RecordKind::NotData;
    for (int k = 0; k < Declarations::ChannelCount; ++k) {
        const char* block = bytes + FirstBlock + k * BlockLength;
        if (block[9] != ' ' || std::memcmp(block + ValueFieldWidth, UnitText, 7) != 0 ||
            !ReadValue(block, &record->values[k]))
            return RecordKind::NotData;
    }
    return RecordKind::Data;
}

DataFileCursor::Outcome DataFileCursor::ReadNew(std::vector<StoredRecord>& out) {
    QFile file(path_);
    const auto fail = [&](const QString& what) {
        error_ = QStringLiteral("%1: %2 (%3)").arg(QDir::toNativeSeparators(path_), what, file.errorString());
        return Outcome::Failed;
    };
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open"));
    const qint64 size = file.size();
    const qint64 whole = size / DataRecordLength;

    std::optional<int> headerCount;
    if (whole > 0) {
        const QByteArray header = file.read(DataRecordLength);
        if (header.size() != DataRecordLength)
            return fail(QStringLiteral("cannot read"));
        headerCount = ReadHeaderCount(QString::fromLatin1(header));
    }
    const qint64 count = LastCountedRecord(whole, headerCount);

    Outcome outcome = Outcome::Ok;
    if (count < read_) {
        read_ = 0;
        tally_ = {};
        outcome = Outcome::Restarted;
    }
    if (count > read_ && !file.seek((read_ + 1) * DataRecordLength))
        return fail(QStringLiteral("cannot read"));
    constexpr qint64 ChunkRecords = 4096;
    StoredRecord record;
    while (read_ < count) {
        const qint64 n = std::min(ChunkRecords, count - read_);
        const QByteArray chunk = file.read(n * DataRecordLength);
        if (chunk.size() != n * DataRecordLength)
            return fail(QStringLiteral("cannot read"));
        for (qint64 r = 0; r < n; ++r) {
            switch (ParseDataRecord(chunk.constData() + r * DataRecordLength, &record)) {
            case RecordKind::Data:
                out.push_back(record);
                break;
            case RecordKind::Blank:
                ++tally_.blank;
                break;
            case RecordKind::NotData:
                ++tally_.notData;
                break;
            }
        }
        read_ += n;
    }
    tally_.uncounted = whole > 0 ? whole - 1 - count : 0;
    tally_.torn = size % DataRecordLength != 0 ? 1 : 0;
    error_.clear();
    return outcome;
}

} // namespace tarvek
