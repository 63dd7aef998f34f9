#include "viewer/HeadlessExport.h"

#include "viewer/AlarmList.h"
#include "viewer/CsvExport.h"
#include "viewer/EventSource.h"
#include "viewer/ExportFile.h"
#include "viewer/ViewerText.h"

#include <QCommandLineParser>

#include <cstring>
#include <numeric>
#include <optional>

namespace tarvek {

bool IsHeadlessExport(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"--csv", "--limits-csv", "--events-csv"})
            if (const std::size_t n = std::strlen(option);
                std::strncmp(argv[i], option, n) == 0 && (argv[i][n] == 0 || argv[i][n] == '='))
                return true;
    return false;
}

int RunHeadlessExport(const QStringList& arguments, const QString& defaultFolder, QTextStream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes stored data as CSV."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("CSV file to write, - for standard output."),
                                 QStringLiteral("OUT"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First second to export."),
                                  QStringLiteral("YYYY-MM-DDTHH:MM:SS"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last second to export."),
                                QStringLiteral("YYYY-MM-DDTHH:MM:SS"));
    const QCommandLineOption limitsCsv(
        QStringLiteral("limits-csv"),
        QStringLiteral("CSV file of the periods outside limits, - for standard output."),
        QStringLiteral("OUT"));
    const QCommandLineOption eventsCsv(QStringLiteral("events-csv"),
                                       QStringLiteral("CSV file of the events, - for standard output."),
                                       QStringLiteral("OUT"));
    parser.addOptions({csv, limitsCsv, eventsCsv, from, to});
    parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"), QStringLiteral("Data files or folders."));
    const QString program = QStringLiteral("tarvek-view");
    if (!parser.parse(arguments)) {
        err << program << ": " << parser.errorText() << Qt::endl;
        return 2;
    }
    TimeSpan span{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), TimeSpan::Local};
    for (const auto& [option, end] : {std::pair{&from, &span.from}, std::pair{&to, &span.to}}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<qint64> t = ParseStoredTime(parser.value(*option));
        if (!t) {
            err << program << ": --" << option->names().first() << " wants YYYY-MM-DDTHH:MM:SS, not "
                << parser.value(*option) << Qt::endl;
            return 2;
        }
        *end = *t;
    }
    if (span.from > span.to) {
        err << program << ": --from " << parser.value(from) << " is later than --to " << parser.value(to)
            << Qt::endl;
        return 2;
    }
    for (const QCommandLineOption* option : {&csv, &limitsCsv, &eventsCsv})
        if (parser.isSet(*option) && parser.value(*option).isEmpty()) {
            err << program << ": --" << option->names().first()
                << " wants the name of the file to write (- for standard output)" << Qt::endl;
            return 2;
        }

    QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        paths += defaultFolder;
    TrendSource source;
    if (!source.Open(paths)) {
        for (const QString& e : source.Errors())
            err << program << ": " << e << Qt::endl;
        return 1;
    }
    if (const ReadTally t = source.Tally(); t.Skipped() > 0)
        err << program << ": skipped " << t.Skipped() << " records (" << TallyText(t) << ")" << Qt::endl;
    for (const QString& note : source.CountNotes())
        err << program << ": " << note << Qt::endl;

    std::vector<int> shown(ChannelCount);
    std::iota(shown.begin(), shown.end(), 0);
    if (parser.isSet(limitsCsv))
        for (const QString& e : source.LimitProblems())
            err << program << ": " << e << Qt::endl;
    const Trend& trend = source.Data();
    const ChannelInfos& channels = source.Channels();
    EventSource events;
    if (parser.isSet(eventsCsv)) {
        // A log that cannot be read would leave events out: nothing is written.
        events.Open(DataFolderOf(paths));
        for (const QString& e : events.Problems())
            err << program << ": " << e << Qt::endl;
        if (!events.Problems().isEmpty())
            return 1;
        if (events.Skipped() > 0)
            err << program << ": skipped " << events.Skipped()
                << " event records (not whole or no event record)" << Qt::endl;
    }
    QString error;
    if ((parser.isSet(csv) && !ExportCsv(parser.value(csv), trend, channels, shown, span, &error)) ||
        (parser.isSet(limitsCsv) &&
         !WriteExport(
             parser.value(limitsCsv),
             [&](QIODevice& out) { return WriteLimitsCsv(out, trend, channels, shown, span); }, &error)) ||
        (parser.isSet(eventsCsv) &&
         !WriteExport(
             parser.value(eventsCsv),
             [&](QIODevice& out) { return WriteEventsCsv(out, events.Events(), channels, span); }, &error))) {
        err << program << ": " << error << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace tarvek
