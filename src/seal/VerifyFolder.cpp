#include "seal/VerifyFolder.h"

#include "common/SharedFile.h"
#include "data/MonthFiles.h"
#include "seal/SealChain.h"

#include <QDir>
#include <QFile>

#include <map>
#include <set>
#include <unistd.h>

namespace tarvek {

namespace {

// A file as verify reads it: regular files only, no link followed, never
// blocking; nothing when it is missing.
std::optional<QByteArray> ReadFile(const QString& path, QString* problem) {
    const SharedFile shared = OpenSharedFile(path, SharedAccess::Read);
    if (!shared) {
        if (shared.error != ENOENT)
            *problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), shared.reason);
        return std::nullopt;
    }
    QFile file;
    file.open(shared.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return file.readAll();
}

std::set<int> MonthsIn(const QString& folder, const QString& pattern) {
    std::set<int> months;
    for (const QString& name :
         QDir(folder, pattern, QDir::Name, QDir::Files | QDir::System | QDir::Hidden).entryList())
        if (const int m = MonthOfText(name.left(7).toLatin1()); m >= 0)
            months.insert(m);
    return months;
}

std::optional<Digest> LastCloseHead(const QByteArray& seals) {
    std::optional<Digest> head;
    for (qsizetype at = 0; at + SealLineLength <= seals.size(); at += SealLineLength)
        if (const auto line = ParseLine(QByteArrayView(seals).sliced(at, SealLineLength));
            line && line->kind == LineKind::Close)
            head = line->head;
    return head;
}

// The witness's lines by the month they seal, wherever they stand in what a
// subscriber kept: mosquitto_sub's output (each line as sent, its own line
// feed, then the tool's; with -v the topic before it), a historian's export
// (a CSV or JSON row with other columns around it), line ends of either
// kind. Every 511 bytes from "TARVEK-SEAL-1 " that have a line's layout count.
std::map<int, std::vector<QByteArray>> WitnessLines(const QByteArray& bytes) {
    static const QByteArray magic = "TARVEK-SEAL-1 ";
    std::map<int, std::vector<QByteArray>> months;
    for (qsizetype at = bytes.indexOf(magic); at >= 0; at = bytes.indexOf(magic, at)) {
        const QByteArray line = bytes.mid(at, SealLineLength - 1);
        const auto parsed = line.size() == SealLineLength - 1 ? ParseLine(line + '\n') : std::nullopt;
        if (parsed)
            months[parsed->month].push_back(line);
        at += parsed ? line.size() : magic.size();
    }
    return months;
}

Finding MonthFinding(Finding::Severity severity, int month, const QString& text) {
    return {severity, "no-seals", SealFileOf(month), 0, 0, {}, {}, {}, {}, {}, text};
}

} // namespace

FolderReport VerifyFolder(const VerifyOptions& o) {
    FolderReport report;
    const auto cannot = [&](const QString& why) {
        report.problem = why;
        return report;
    };
    QString problem;
    const auto keys = ReadFile(o.sealFolder + QStringLiteral("/keys.txt"), &problem);
    const std::set<int> sealed = MonthsIn(o.sealFolder, QStringLiteral("*-Seal.txt"));
    if (sealed.empty())
        return cannot(QStringLiteral("%1: no seals").arg(o.sealFolder));
    if (!keys || ParseKeyList(*keys).empty())
        return cannot(QStringLiteral("%1: no keys.txt that lists a key %2").arg(o.sealFolder, problem));
    std::map<int, QByteArray> seals;
    for (int m : sealed)
        seals[m] = ReadFile(o.sealFolder + u'/' + SealFileOf(m), &problem).value_or(QByteArray());
    std::vector<QByteArray> all;
    for (const auto& [m, bytes] : seals)
        all.push_back(bytes);
    report.keys = BuildKeyRing(ParseKeyList(*keys), all);
    QString witnessProblem;
    const auto witness = o.witness.isEmpty()
                             ? std::map<int, std::vector<QByteArray>>()
                             : WitnessLines(ReadFile(o.witness, &witnessProblem).value_or(QByteArray()));
    if (!o.witness.isEmpty() && witness.empty())
        return cannot(QStringLiteral("%1: no seal lines %2").arg(o.witness, witnessProblem));

    std::set<int> months = sealed;
    for (const QString& pattern : {QStringLiteral("*-Data.txt"), QStringLiteral("*-Events.txt")})
        months.merge(MonthsIn(o.dataFolder, pattern));
    for (int m = *sealed.begin(); m <= *sealed.rbegin(); ++m)
        months.insert(m);
    for (const auto& [m, lines] : witness)
        months.insert(m);
    for (const int m : months) {
        if ((o.from && m < *o.from) || (o.to && m > *o.to))
            continue;
        MonthBytes files;
        files.month = m;
        QString unreadable;
        files.data = ReadFile(o.dataFolder + u'/' + MonthFileOf(MonthFileKind::Data, m), &unreadable);
        files.events = ReadFile(o.dataFolder + u'/' + MonthFileOf(MonthFileKind::Events, m), &unreadable);
        files.sealedData = ReadFile(o.sealFolder + u'/' + SealedCopyOf(MonthFileKind::Data, m), &unreadable);
        files.sealedEvents =
            ReadFile(o.sealFolder + u'/' + SealedCopyOf(MonthFileKind::Events, m), &unreadable);
        if (seals.contains(m))
            files.seals = seals[m];
        VerifyContext context{&report.keys, {}, {}, o.nowUtcMs, o.zone};
        for (auto before = seals.begin(); before != seals.end() && before->first < m; ++before)
            if (const auto head = LastCloseHead(before->second))
                context.closesBefore.push_back(*head);
        if (witness.contains(m))
            context.witness = witness.at(m);
        MonthReport month = VerifyMonth(files, context);
        if (!unreadable.isEmpty())
            month.findings.push_back(
                {Finding::Severity::Fail, "unreadable", unreadable, 0, 0, {}, {}, {}, {}, {}, unreadable});
        if (!files.seals && (files.data || files.events))
            month.findings.push_back(
                m < *sealed.begin()
                    ? MonthFinding(Finding::Severity::Note, m, "the month lies before the first seals")
                    : MonthFinding(Finding::Severity::Fail, m, "no seals: its records cannot be checked"));
        else if (!files.seals)
            month.findings.push_back(
                MonthFinding(Finding::Severity::Warn, m,
                             "no seals: the sealer did not run that month, or its seals were removed"));
        report.months.push_back(std::move(month));
    }
    return report;
}

int ExitCodeOf(const FolderReport& report) {
    if (!report.problem.isEmpty())
        return 2;
    for (const MonthReport& m : report.months)
        for (const Finding& f : m.findings)
            if (f.severity != Finding::Severity::Note)
                return 1;
    return 0;
}

} // namespace tarvek
