#include "config/SettingRecords.h"

#include "common/TextHelpers.h"

namespace tarvek {

namespace {

const ChannelColumn* ColumnOf(ChannelField field) {
    for (const ChannelColumn& column : ChannelColumns)
        if (column.field == field)
            return &column;
    return nullptr;
}

QString Terminated(const QString& body) {
    return FixedText(body, SettingRecordLength - RecordTerminator.size()) + RecordTerminator;
}

} // namespace

QString DefaultChannelName(int c) {
    return QStringLiteral("Ch.%1").arg(c);
}

QString GeneralLabelOf(const QString& record) {
    return FixedText(record, SettingRecordLength).left(GeneralLabelWidth);
}

QString GeneralValueOf(const QString& record) {
    return FixedText(record, SettingRecordLength).mid(GeneralLabelWidth, GeneralValueWidth);
}

QString GeneralRecord(const QString& label, const QString& value) {
    return Terminated(FixedText(label, GeneralLabelWidth) + FixedText(value, GeneralValueWidth));
}

QString ChannelFieldOf(const QString& record, ChannelField field) {
    const ChannelColumn* column = ColumnOf(field);
    return column ? TrimBlanks(record.mid(column->first - 1, column->width)) : QString();
}

QString WithChannelField(const QString& record, ChannelField field, const QString& text) {
    QString result = FixedText(record, SettingRecordLength);
    if (const ChannelColumn* column = ColumnOf(field))
        result.replace(column->first - 1, column->width + 1, FixedText(text, column->width) + u';');
    return Terminated(result);
}

QString ChannelRecord(const QString& name, const ChannelRow& fields) {
    QString record = Terminated(FixedText(name, ChannelNameWidth));
    for (const ChannelColumn& column : ChannelColumns)
        record = WithChannelField(record, column.field, fields[column.field]);
    return record;
}

} // namespace tarvek
