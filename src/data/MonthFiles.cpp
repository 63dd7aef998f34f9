#include "data/MonthFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace tarvek {

namespace {

// "mm-yyyy" of a "dd-mm-yyyy" stamp, then what the month's file holds.
QString MonthFileName(const QString& scanDate, const char16_t* what) {
    return scanDate.mid(3, 7) + QString::fromUtf16(what);
}

const char16_t* Suffix(MonthFileKind kind) {
    switch (kind) {
    case MonthFileKind::Data:
        return u"-Data.txt";
    case MonthFileKind::Events:
        return u"-Events.txt";
    case MonthFileKind::Seals:
        break;
    }
    return u"-Seal.txt";
}

} // namespace

QString DataFileName(const QString& scanDate) {
    return MonthFileName(scanDate, Suffix(MonthFileKind::Data));
}

QString EventFileName(const QString& scanDate) {
    return MonthFileName(scanDate, Suffix(MonthFileKind::Events));
}

int MonthKey(const QString& path, MonthFileKind kind) {
    // Anchored at the very end: "$" alone would also match before a final line end.
    static const QRegularExpression patterns[] = {
        QRegularExpression(QRegularExpression::anchoredPattern(u"(\\d\\d)-(\\d{4})-Data\\.txt")),
        QRegularExpression(QRegularExpression::anchoredPattern(u"(\\d\\d)-(\\d{4})-Events\\.txt")),
        QRegularExpression(QRegularExpression::anchoredPattern(u"(\\d\\d)-(\\d{4})-Seal\\.txt"))};
    const QRegularExpressionMatch m = patterns[int(kind)].match(QFileInfo(path).fileName());
    if (!m.hasMatch())
        return -1;
    const int month = m.captured(1).toInt();
    return month >= 1 && month <= 12 ? m.captured(2).toInt() * 12 + month - 1 : -1;
}

QStringList ListMonthFiles(const QString& folder, MonthFileKind kind) {
    std::vector<std::pair<int, QString>> months;
    const QString pattern =
        QStringLiteral("[0-9][0-9]-[0-9][0-9][0-9][0-9]") + QString::fromUtf16(Suffix(kind));
    for (const QString& name :
         QDir(folder, pattern, QDir::NoSort, QDir::Files | QDir::System | QDir::Hidden).entryList())
        if (const int key = MonthKey(name, kind); key >= 0)
            months.emplace_back(key, name);
    std::sort(months.begin(), months.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList names;
    for (auto& [key, name] : months)
        names += std::move(name);
    return names;
}

} // namespace tarvek
