#include "config/ChannelSettings.h"

#include <QRegularExpression>

namespace tarvek {

LimitField ParseLimit(const QString& field) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    LimitField limit;
    limit.text = field.trimmed();
    if (limit.text.isEmpty())
        return limit;
    if (!number.match(limit.text).hasMatch()) {
        limit.kind = LimitField::Kind::Unreadable;
        return limit;
    }
    limit.kind = LimitField::Kind::Number;
    limit.value = limit.text.toDouble();
    return limit;
}

} // namespace tarvek
