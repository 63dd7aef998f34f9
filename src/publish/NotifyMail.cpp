#include "publish/NotifyMail.h"

#include <algorithm>

namespace tarvek {

namespace {

// Encoded words stay within 75 characters: 45 bytes of UTF-8 give 60 of base64.
constexpr qsizetype WordBytes = 45;
constexpr qsizetype PlainLine = 78;

bool IsPlain(const QByteArray& text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

// RFC 2047 "B" words, each on its own folded line, never splitting a character.
QByteArray EncodedWords(const QByteArray& utf8) {
    QByteArray out;
    for (qsizetype at = 0; at < utf8.size();) {
        qsizetype end = std::min(at + WordBytes, utf8.size());
        while (end < utf8.size() && (uchar(utf8[end]) & 0xc0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\n ";
        out += "=?UTF-8?B?" + utf8.mid(at, end - at).toBase64() + "?=";
        at = end;
    }
    return out;
}

// Control characters as blanks: a text of the logs stays on its line.
QString OnOneLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

} // namespace

QByteArray MailMessage(const QString& subject, const QStringList& lines) {
    const QByteArray utf8 = OnOneLine(subject).simplified().toUtf8();
    const QByteArray header = IsPlain(utf8) && utf8.size() + 9 <= PlainLine ? utf8 : EncodedWords(utf8);
    QStringList body;
    for (const QString& line : lines)
        body << OnOneLine(line);
    return "Subject: " + header +
           "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: "
           "8bit\n\n" +
           body.join(u'\n').toUtf8() + '\n';
}

} // namespace tarvek
