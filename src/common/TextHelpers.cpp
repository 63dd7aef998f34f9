#include "common/TextHelpers.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include <locale.h>

namespace tarvek {

namespace {

bool IsSkipped(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Walks a text while skipping blanks, tabs and line feeds, so that the number
// grammar below sees only the characters that matter.
class Cursor {
  public:
    explicit Cursor(const QString& text) : text_(text) { Skip(); }
    bool AtEnd() const { return pos_ >= text_.size(); }
    QChar Peek() const { return AtEnd() ? QChar() : text_[pos_]; }
    void Advance() {
        ++pos_;
        Skip();
    }

  private:
    void Skip() {
        while (pos_ < text_.size() && IsSkipped(text_[pos_]))
            ++pos_;
    }
    const QString& text_;
    qsizetype pos_ = 0;
};

// The window toolkit switches the process to the user's regional settings, where
// strtod may expect ",". Parsing in an explicit "C" locale keeps "." the only
// separator and still gives an infinity (not an error) when the exponent is
// too large.
double ParseCNumber(const std::string& number) {
#ifdef _WIN32
    static const _locale_t cLocale = _create_locale(LC_NUMERIC, "C");
    return _strtod_l(number.c_str(), nullptr, cLocale);
#else
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
#endif
}

} // namespace

double LeadingNumber(const QString& text) {
    Cursor in(text);
    std::string number; // the accepted characters, in C locale form for strtod
    if (in.Peek() == u'+' || in.Peek() == u'-') {
        number += static_cast<char>(in.Peek().unicode());
        in.Advance();
    }
    int mantissaDigits = 0;
    while (IsDigit(in.Peek())) {
        number += static_cast<char>(in.Peek().unicode());
        ++mantissaDigits;
        in.Advance();
    }
    if (in.Peek() == u'.') {
        number += '.';
        in.Advance();
        while (IsDigit(in.Peek())) {
            number += static_cast<char>(in.Peek().unicode());
            ++mantissaDigits;
            in.Advance();
        }
    }
    if (mantissaDigits == 0)
        return 0.0;

    const QChar mark = in.Peek();
    if (mark == u'E' || mark == u'e' || mark == u'D' || mark == u'd') {
        std::string exponent = "e";
        in.Advance();
        if (in.Peek() == u'+' || in.Peek() == u'-') {
            exponent += static_cast<char>(in.Peek().unicode());
            in.Advance();
        }
        bool anyDigit = false;
        while (IsDigit(in.Peek())) {
            exponent += static_cast<char>(in.Peek().unicode());
            anyDigit = true;
            in.Advance();
        }
        // An exponent mark without digits is not part of the number.
        if (anyDigit)
            number += exponent;
    }
    return ParseCNumber(number);
}

long long RoundHalfEven(double value) {
    if (std::isnan(value))
        return 0;
    constexpr double limit = 9.2e18;
    if (value >= limit)
        return std::numeric_limits<long long>::max();
    if (value <= -limit)
        return std::numeric_limits<long long>::min();
    return static_cast<long long>(std::nearbyint(value)); // default mode: to nearest, ties to even
}

QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

QString FixedText(const QString& text, int n) {
    if (text.size() >= n)
        return text.left(n);
    return text + QString(n - text.size(), u' ');
}

QString TimeText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString DateStamp(const QDate& date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date.day(), 2, 10, QChar(u'0'))
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.year(), 4, 10, QChar(u'0'));
}

ClockReading ReadClock(const QDateTime& now, const QString& lastTickTime) {
    QString time = TimeText(now.time());
    const bool newSecond = time != lastTickTime;
    return {std::move(time), DateStamp(now.date()), newSecond};
}

} // namespace tarvek
