#include "alarm/EventRecord.h"

#include "common/TextHelpers.h"

#include <QRegularExpression>

#include <array>

namespace tarvek {

namespace {

using namespace EventColumns;

QString Fitted(QString text, const EventColumn& column) {
    for (QChar& c : text)
        if (!c.isPrint())
            c = u' ';
    if (column.rightAligned)
        return text.left(column.width).rightJustified(column.width, u' ');
    return FixedText(text, column.width);
}

QString Cut(const QString& record, const EventColumn& column) {
    return record.mid(column.first - 1, column.width);
}

constexpr std::array<EventColumn, 9> Columns{Date, Time, Kind, Channel, Name, Value, Limit, User, Text};

} // namespace

QString BuildEventRecord(const Event& e) {
    const QString channel = e.channel >= 1 && e.channel <= 8 ? QString::number(e.channel) : QString();
    const std::array<QString, 9> fields{e.date,  e.time,  e.kind, channel, e.event,
                                        e.value, e.limit, e.user, e.text};
    QString record;
    for (size_t k = 0; k < Columns.size(); ++k)
        record += Fitted(fields[k], Columns[k]) + (k + 1 < Columns.size() ? QStringLiteral(";") : QString());
    return record + RecordTerminator;
}

std::optional<Event> ParseEventRecord(QByteArrayView bytes) {
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d-\\d\\d-\\d{4};\\d\\d:\\d\\d:\\d\\d;"));
    if (bytes.size() != EventRecordLength)
        return std::nullopt;
    const QString record = QString::fromLatin1(bytes);
    if (record.mid(TerminatorAt - 1) != RecordTerminator || !stamp.match(record).hasMatch())
        return std::nullopt;
    for (size_t k = 0; k + 1 < Columns.size(); ++k)
        if (record[Columns[k].first + Columns[k].width - 1] != u';')
            return std::nullopt;
    const QChar channel = record[Channel.first - 1];
    if (channel != u' ' && (channel < u'1' || channel > u'8'))
        return std::nullopt;
    Event e;
    e.date = Cut(record, Date);
    e.time = Cut(record, Time);
    e.kind = TrimBlanks(Cut(record, Kind));
    e.channel = channel == u' ' ? 0 : channel.digitValue();
    e.event = TrimBlanks(Cut(record, Name));
    e.value = Cut(record, Value);
    if (TrimBlanks(e.value).isEmpty())
        e.value.clear();
    e.limit = TrimBlanks(Cut(record, Limit));
    e.user = TrimBlanks(Cut(record, User));
    e.text = TrimBlanks(Cut(record, Text));
    return e;
}

} // namespace tarvek
