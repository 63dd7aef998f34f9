#include "data/NumberText.h"

#include "config/ChannelSettings.h"

namespace tarvek {

std::optional<QByteArray> PlainNumber(const QString& text) {
    const LimitField number = ParseLimit(text);
    if (!number.IsNumber())
        return std::nullopt;
    QString digits = number.text;
    const bool negative = digits.startsWith(u'-');
    if (negative || digits.startsWith(u'+'))
        digits.remove(0, 1);
    const qsizetype point = digits.indexOf(u'.');
    QString whole = point < 0 ? digits : digits.left(point);
    const QString fraction = point < 0 ? QString() : digits.mid(point + 1);
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    QByteArray out = negative && number.value != 0 ? "-" : "";
    out += whole.isEmpty() ? QByteArray("0") : whole.toLatin1();
    if (!fraction.isEmpty())
        out += '.' + fraction.toLatin1();
    return out;
}

} // namespace tarvek
