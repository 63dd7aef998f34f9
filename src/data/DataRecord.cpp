#include "data/DataRecord.h"

#include "common/TextHelpers.h"
#include "data/StoredTime.h"

#include <QDate>
#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvek {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "dd-mm-yyyy;hh:mm:ss;" as milliseconds of the wall clock from 1970-01-01,
// or false when it is no stamp of the calendar.
bool ReadStamp(const char* p, qint64* localMs) {
    if (p[DateWidth] != ';' || p[FirstChannelField - 1] != ';')
        return false;
    const std::optional<qint64> stamp = StampAt(p, p + TimeAt);
    *localMs = stamp.value_or(0);
    return stamp.has_value();
}

// A value text of ValueWidth: blanks, a sign, digits without a leading zero,
// and a point with digits or nothing; or one of the two gap texts.
bool ReadValue(const char* p, StoredValue* value) {
    if (std::memcmp(p, NoDataValue, ValueWidth) == 0) {
        *value = StoredValue::FromGap(StoredValue::NoData);
        return true;
    }
    if (std::memcmp(p, InvalidValue, ValueWidth) == 0) {
        *value = StoredValue::FromGap(StoredValue::Invalid);
        return true;
    }
    int i = 0;
    while (i < ValueWidth && p[i] == ' ')
        ++i;
    if (i >= ValueWidth - 1 || (p[i] != '+' && p[i] != '-'))
        return false;
    const bool negative = p[i++] == '-';
    // The logger writes no leading zeros: "+01.000" is not its text.
    if (i + 1 < ValueWidth && p[i] == '0' && IsDigit(p[i + 1]))
        return false;
    std::int32_t digits = 0;
    int integerDigits = 0, decimals = -1;
    for (; i < ValueWidth; ++i) {
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

std::optional<StoredValue> ParseValueText(const char* text) {
    StoredValue value;
    return ReadValue(text, &value) ? std::optional(value) : std::nullopt;
}

QString DataRecordOf(const QString& body) {
    return FixedText(body, DataRecordLength - 3) + RecordTerminator;
}

RecordKind ParseDataRecord(const char* bytes, StoredRecord* record) {
    constexpr int EndingLength = sizeof RecordEnding - 1;
    constexpr int UnitLength = sizeof UnitText - 1;
    const char* end = bytes + DataRecordLength - EndingLength;
    if (std::memcmp(end, RecordEnding, EndingLength) != 0)
        return RecordKind::NotData;
    if (std::all_of(bytes, end, [](char c) { return c == ' '; }))
        return RecordKind::Blank;
    if (!ReadStamp(bytes, &record->localMs))
        return RecordKind::NotData;
    for (int k = 0; k < ChannelCount; ++k) {
        const char* block = bytes + FirstChannelField + k * ChannelFieldLength;
        if (block[ValueWidth] != ' ' || std::memcmp(block + ValueFieldWidth, UnitText, UnitLength) != 0 ||
            !ReadValue(block, &record->values[k]))
            return RecordKind::NotData;
    }
    return RecordKind::Data;
}

QString DataFileHeader(int count) {
    QString body = QStringLiteral("Lastrecord;   ") +
                   QString::number(count).rightJustified(HeaderCountWidth, u' ') + u';';
    for (int k = 0; k < ChannelCount; ++k)
        body += QString(ValueFieldWidth, u' ') + u';' +
                QString(ChannelFieldLength - ValueFieldWidth - 2, u' ') + u';';
    return DataRecordOf(body);
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

} // namespace tarvek
