#include "data/EventRecord.h"

#include "common/TextHelpers.h"
#include "data/StoredTime.h"

#include <algorithm>
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

QByteArrayView Cut(QByteArrayView record, const EventColumn& column) {
    return record.sliced(column.first - 1, column.width);
}

QByteArrayView Trimmed(QByteArrayView field) {
    while (!field.isEmpty() && field.front() == ' ')
        field = field.sliced(1);
    while (!field.isEmpty() && field.back() == ' ')
        field.chop(1);
    return field;
}

// A kind or event as its shared text, so a month of records holds each once.
QString Known(QByteArrayView field) {
    using namespace EventKinds;
    using namespace EventNames;
    for (const QString* known :
         {&High, &Low, &NoValue, &NoAnswer, &NotStored, &Acquisition, &Program, &SetUp, &Raised, &Cleared,
          &Acknowledged, &Started, &Stopped, &Changed, &InUse, &Unreadable})
        if (known->size() == field.size() && *known == QLatin1StringView(field))
            return *known;
    return QString::fromLatin1(field);
}

constexpr std::array<EventColumn, 9> Columns{Date, Time, Kind, Channel, Name, Value, Limit, User, Text};

} // namespace

QString BuildEventRecord(const Event& e) {
    const QString channel = e.channel >= 1 && e.channel <= 8 ? QString::number(e.channel) : QString();
    const std::array<QString, 9> fields{e.date,  e.time,  e.kind, channel, e.name,
                                        e.value, e.limit, e.user, e.text};
    QString record;
    for (size_t k = 0; k < Columns.size(); ++k)
        record += Fitted(fields[k], Columns[k]) + (k + 1 < Columns.size() ? QStringLiteral(";") : QString());
    return record + RecordTerminator;
}

std::optional<Event> ParseEventRecord(QByteArrayView bytes) {
    // Byte by byte: a viewer reads a month of a hundred thousand records.
    if (bytes.size() != EventRecordLength ||
        QLatin1StringView(bytes.sliced(TerminatorAt - 1)) != RecordTerminator)
        return std::nullopt;
    if (!StampAt(bytes.data() + Date.first - 1, bytes.data() + Time.first - 1))
        return std::nullopt;
    for (size_t k = 0; k + 1 < Columns.size(); ++k)
        if (bytes[Columns[k].first + Columns[k].width - 1] != ';')
            return std::nullopt;
    const char channel = bytes[Channel.first - 1];
    if (channel != ' ' && (channel < '1' || channel > '8'))
        return std::nullopt;
    Event e;
    e.date = QString::fromLatin1(Cut(bytes, Date));
    e.time = QString::fromLatin1(Cut(bytes, Time));
    e.kind = Known(Trimmed(Cut(bytes, Kind)));
    e.channel = channel == ' ' ? 0 : channel - '0';
    e.name = Known(Trimmed(Cut(bytes, Name)));
    if (!Trimmed(Cut(bytes, Value)).isEmpty())
        e.value = QString::fromLatin1(Cut(bytes, Value));
    e.limit = QString::fromLatin1(Trimmed(Cut(bytes, Limit)));
    e.user = QString::fromLatin1(Trimmed(Cut(bytes, User)));
    e.text = QString::fromLatin1(Trimmed(Cut(bytes, Text)));
    return e;
}

} // namespace tarvek
