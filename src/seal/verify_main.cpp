// tarvek-verify [--from D] [--to D] [--witness FILE] [--csv OUT] [--key] FOLDER:
// checks the month files of FOLDER (or FOLDER/datafiles) against their seals
// (FOLDER/seals or FOLDER/../seals). Exit 0 intact, 1 findings, 2 cannot verify.
#include "common/ReplaceFile.h"
#include "seal/ProgramLine.h"
#include "seal/SealChain.h"
#include "seal/VerifyFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>

using namespace tarvek;

namespace {

// The month of "YYYY-MM" or "YYYY-MM-DD".
std::optional<int> MonthOfDate(const QString& text) {
    const QString month = text.size() == 10 && text[7] == u'-' ? text.left(7) : text;
    const int m = month.size() == 7 && month[4] == u'-'
                      ? MonthOfText((month.mid(5) + u'-' + month.left(4)).toLatin1())
                      : -1;
    return m >= 0 ? std::optional(m) : std::nullopt;
}

// The data folder and the seals beside it.
bool FindFolders(const QString& folder, VerifyOptions& o) {
    const QDir dir(folder);
    if (dir.exists(QStringLiteral("seals")))
        o.dataFolder = dir.filePath(QStringLiteral("datafiles")),
        o.sealFolder = dir.filePath(QStringLiteral("seals"));
    else if (QDir(dir.filePath(QStringLiteral("../seals"))).exists())
        o.dataFolder = dir.path(), o.sealFolder = QDir::cleanPath(dir.filePath(QStringLiteral("../seals")));
    return !o.sealFolder.isEmpty();
}

bool WriteCsv(const QString& path, const QByteArray& csv) {
    if (path == u"-")
        return std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout) == size_t(csv.size());
    return !ReplaceFile(path, {}, [&](QFile& file) -> std::optional<QString> {
        return file.write(csv) == csv.size() ? std::nullopt : std::optional(file.errorString());
    });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ProgramLine line("Checks month files against their seals.");
    const QCommandLineOption from = line.Option("from", "First month.", "D");
    const QCommandLineOption to = line.Option("to", "Last month.", "D");
    const QCommandLineOption witness = line.Option("witness", "Seal lines a subscriber kept.", "FILE");
    const QCommandLineOption csv = line.Option("csv", "The findings as CSV (- for stdout).", "OUT");
    const QCommandLineOption key = line.Option("key", "Print the keys and their fingerprints.");
    QCommandLineParser& parser = line.Parser();
    VerifyOptions o;
    o.nowUtcMs = QDateTime::currentMSecsSinceEpoch();
    o.from =
        parser.parse(app.arguments()) && parser.isSet(from) ? MonthOfDate(parser.value(from)) : std::nullopt;
    o.to = parser.isSet(to) ? MonthOfDate(parser.value(to)) : std::nullopt;
    o.witness = parser.value(witness);
    if (parser.positionalArguments().size() != 1 || (parser.isSet(from) && !o.from) ||
        (parser.isSet(to) && !o.to) || (o.from && o.to && *o.from > *o.to)) {
        std::fprintf(stderr,
                     "usage: tarvek-verify [--from D] [--to D] [--witness FILE] [--csv OUT] [--key] FOLDER\n"
                     "D is YYYY-MM or YYYY-MM-DD\n");
        return 2;
    }
    if (!FindFolders(parser.positionalArguments().front(), o)) {
        std::fprintf(stderr, "tarvek-verify: %s: no seals folder in it or beside it\n",
                     qPrintable(parser.positionalArguments().front()));
        return 2;
    }
    const FolderReport report = VerifyFolder(o);
    QTextStream out(stdout);
    if (parser.isSet(key)) {
        WriteKeys(report, out);
        return report.problem.isEmpty() ? 0 : 2;
    }
    WriteReport(report, out);
    out.flush();
    if (parser.isSet(csv) && !WriteCsv(parser.value(csv), CsvOf(report))) {
        std::fprintf(stderr, "tarvek-verify: %s: cannot write the CSV\n", qPrintable(parser.value(csv)));
        return 2;
    }
    return ExitCodeOf(report);
}
