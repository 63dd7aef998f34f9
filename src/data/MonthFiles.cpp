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

} // namespace

QString DataFileName(const QString& scanDate) {
    return MonthFileName(scanDate, u"-Data.txt");
}

QString EventFileName(const QString& scanDate) {
    return MonthFileName(scanDate, u"-Events.txt");
}

int MonthKey(const QString& path) {
    // \z: "$" would also match before a trailing line feed.
    static const QRegularExpression name(QStringLiteral("\\A(\\d\\d)-(\\d{4})-Data\\.txt\\z"));
    const QRegularExpressionMatch m = name.match(QFileInfo(path).fileName());
    if (!m.hasMatch())
        return -1;
    const int month = m.captured(1).toInt();
    return month >= 1 && month <= 12 ? m.captured(2).toInt() * 12 + month - 1 : -1;
}

QStringList ListMonthFiles(const QString& folder) {
    std::vector<std::pair<int, QString>> months;
    for (const QString& name : QDir(folder, QStringLiteral("[0-9][0-9]-[0-9][0-9][0-9][0-9]-Data.txt"),
                                    QDir::NoSort, QDir::Files | QDir::System | QDir::Hidden)
                                   .entryList())
        if (const int key = MonthKey(name); key >= 0)
            months.emplace_back(key, name);
    std::sort(months.begin(), months.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList names;
    for (auto& [key, name] : months)
        names += std::move(name);
    return names;
}

} // namespace tarvek
