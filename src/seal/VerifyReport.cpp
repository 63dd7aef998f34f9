#include "seal/VerifyFolder.h"

#include "seal/SealChain.h"

#include <array>

namespace tarvek {

namespace {

const char* SeverityName(Finding::Severity s) {
    return s == Finding::Severity::Fail ? "FAIL" : s == Finding::Severity::Warn ? "WARN" : "NOTE";
}

// A field of CSV: quoted when it holds a comma, a quote or a line end; one
// a spreadsheet would take for a formula gets a "'" in front.
QString CsvField(QString text) {
    if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        text.prepend(u'\'');
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

QString Counted(const std::array<int, 3>& n) {
    return QStringLiteral("%1 failures, %2 warnings, %3 notes").arg(n[0]).arg(n[1]).arg(n[2]);
}

QString FindingText(const Finding& f) {
    QString text = QStringLiteral("  %1 %2").arg(QLatin1StringView(SeverityName(f.severity)),
                                                 QString::fromLatin1(f.what).leftJustified(18));
    text += f.file;
    if (f.record > 0)
        text += QStringLiteral(" record %1").arg(f.record);
    if (!f.time.isEmpty())
        text += QStringLiteral(" (%1)").arg(f.time);
    text += QStringLiteral(": ") + f.text;
    if (!f.sealed.isEmpty() || !f.now.isEmpty())
        text += QStringLiteral("; sealed \"%1\", now \"%2\"").arg(f.sealed.trimmed(), f.now.trimmed());
    if (!f.firstSeen.isEmpty())
        text += QStringLiteral("; first seen %1").arg(f.firstSeen);
    if (!f.lastGood.isEmpty())
        text += QStringLiteral("; last good %1").arg(f.lastGood);
    return text;
}

} // namespace

void WriteReport(const FolderReport& report, QTextStream& out) {
    if (!report.problem.isEmpty()) {
        out << "Cannot verify: " << report.problem << "\n";
        return;
    }
    if (const KnownKey* first = report.keys.First())
        out << "First key " << first->id << ", fingerprint " << Fingerprint(first->key)
            << ": compare it with the enrolment record\n";
    std::array<int, 3> all{};
    for (const MonthReport& m : report.months) {
        out << "\nMonth " << MonthText(m.month) << "\n";
        out << "  Seals   " << m.lines << " lines"
            << (m.lastLine.isEmpty() ? QString() : ", the last at " + m.lastLine)
            << ", clock synchronised at " << m.syncedPercent << "% of them\n";
        out << "  Data    " << m.dataRecords << " records (count record "
            << (m.countRecord ? QString::number(*m.countRecord) : QStringLiteral("none")) << "), sealed copy "
            << m.sealedData << "\n";
        out << "  Events  " << m.eventRecords << " records, sealed copy " << m.sealedEvents << "\n";
        for (const Finding& f : m.findings) {
            ++all[std::size_t(f.severity)];
            out << FindingText(f) << "\n";
        }
    }
    const bool intact = all[0] + all[1] == 0;
    out << "\nResult  " << (intact ? "INTACT" : "NOT INTACT") << ": " << Counted(all) << " (exit "
        << ExitCodeOf(report) << ")\n";
}

QByteArray CsvOf(const FolderReport& report) {
    QString csv = QStringLiteral(
        "month,severity,finding,file,record,count,time,sealed,now,first_seen,last_good,text\r\n");
    for (const MonthReport& m : report.months)
        for (const Finding& f : m.findings) {
            const QStringList fields{QString::fromLatin1(MonthText(m.month)),
                                     QString::fromLatin1(SeverityName(f.severity)),
                                     QString::fromLatin1(f.what),
                                     f.file,
                                     f.record > 0 ? QString::number(f.record) : QString(),
                                     f.count > 0 ? QString::number(f.count) : QString(),
                                     f.time,
                                     f.sealed,
                                     f.now,
                                     f.firstSeen,
                                     f.lastGood,
                                     f.text};
            QStringList quoted;
            for (const QString& field : fields)
                quoted += CsvField(field);
            csv += quoted.join(u',') + QStringLiteral("\r\n");
        }
    return csv.toUtf8();
}

void WriteKeys(const FolderReport& report, QTextStream& out) {
    if (!report.problem.isEmpty()) {
        out << "Cannot verify: " << report.problem << "\n";
        return;
    }
    for (const KnownKey& k : report.keys.Keys()) {
        out << "key " << k.id << " fingerprint " << Fingerprint(k.key);
        if (&k == report.keys.First())
            out << " (the first key: compare it with the enrolment record)";
        else if (k.period)
            out << " for " << MonthText(*k.period) << ", named by " << k.endorsedBy;
        else
            out << " (named by no line: a key discontinuity where it signs)";
        out << (k.listed ? "" : " (not in keys.txt)") << "\n";
    }
}

} // namespace tarvek
