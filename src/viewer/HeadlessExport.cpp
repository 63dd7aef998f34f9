#include "viewer/HeadlessExport.h"

#include "viewer/AlarmList.h"
#include "viewer/CsvExport.h"
#include "viewer/ExportFile.h"
#include "viewer/ViewerSession.h"
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

namespace {

const QString Program = QStringLiteral("tarvek-view");

struct Options {
    QCommandLineOption csv{QStringLiteral("csv"), QStringLiteral("CSV file to write, - for standard output."),
                           QStringLiteral("OUT")};
    QCommandLineOption limitsCsv{
        QStringLiteral("limits-csv"),
        QStringLiteral("CSV file of the periods outside limits, - for standard output."),
        QStringLiteral("OUT")};
    QCommandLineOption eventsCsv{QStringLiteral("events-csv"),
                                 QStringLiteral("CSV file of the events, - for standard output."),
                                 QStringLiteral("OUT")};
    QCommandLineOption from{QStringLiteral("from"), QStringLiteral("First second to export."),
                            QStringLiteral("YYYY-MM-DDTHH:MM:SS")};
    QCommandLineOption to{QStringLiteral("to"), QStringLiteral("Last second to export."),
                          QStringLiteral("YYYY-MM-DDTHH:MM:SS")};
};

// What the command line asks for: the files to write (none where not
// asked), the span on the wall clock, the data.
struct ExportRequest {
    std::optional<QString> csv, limitsCsv, eventsCsv;
    TimeSpan span;
    QStringList paths;
};

// The span of --from and --to, all of it where one is not given; or why not.
std::optional<TimeSpan> ParseSpan(const QCommandLineParser& parser, const Options& o, QString* usage) {
    TimeSpan span{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), TimeSpan::Local};
    for (const auto& [option, end] : {std::pair{&o.from, &span.from}, std::pair{&o.to, &span.to}}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<qint64> t = ParseStoredTime(parser.value(*option));
        if (!t) {
            *usage = QStringLiteral("--%1 wants YYYY-MM-DDTHH:MM:SS, not %2")
                         .arg(option->names().first(), parser.value(*option));
            return std::nullopt;
        }
        *end = *t;
    }
    if (span.from > span.to) {
        *usage =
            QStringLiteral("--from %1 is later than --to %2").arg(parser.value(o.from), parser.value(o.to));
        return std::nullopt;
    }
    return span;
}

std::optional<ExportRequest> ParseRequest(const QStringList& arguments, const QString& defaultFolder,
                                          QString* usage) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes stored data as CSV."));
    const Options o;
    parser.addOptions({o.csv, o.limitsCsv, o.eventsCsv, o.from, o.to});
    parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"), QStringLiteral("Data files or folders."));
    if (!parser.parse(arguments)) {
        *usage = parser.errorText();
        return std::nullopt;
    }
    const std::optional<TimeSpan> span = ParseSpan(parser, o, usage);
    if (!span)
        return std::nullopt;
    ExportRequest request{{}, {}, {}, *span, parser.positionalArguments()};
    for (const auto& [option, out] :
         {std::pair{&o.csv, &request.csv}, std::pair{&o.limitsCsv, &request.limitsCsv},
          std::pair{&o.eventsCsv, &request.eventsCsv}}) {
        if (parser.isSet(*option) && parser.value(*option).isEmpty()) {
            *usage = QStringLiteral("--%1 wants the name of the file to write (- for standard output)")
                         .arg(option->names().first());
            return std::nullopt;
        }
        if (parser.isSet(*option))
            *out = parser.value(*option);
    }
    if (request.paths.isEmpty())
        request.paths += defaultFolder;
    return request;
}

// Reads the data, saying what was left out; false when a file cannot be read.
bool ReadData(ViewerSession& session, const ExportRequest& request, QTextStream& err) {
    const TrendSource& source = session.Source();
    const bool read = session.OpenData(request.paths);
    for (const QString& e : source.Errors())
        err << Program << ": " << e << Qt::endl;
    if (!read)
        return false;
    if (const ReadTally t = source.Tally(); t.Skipped() > 0)
        err << Program << ": skipped " << t.Skipped() << " records (" << TallyText(t) << ")" << Qt::endl;
    for (const QString& note : source.CountNotes())
        err << Program << ": " << note << Qt::endl;
    if (request.limitsCsv)
        for (const QString& e : source.LimitProblems())
            err << Program << ": " << e << Qt::endl;
    return true;
}

// Reads the logs of the data's folder; false when one cannot be read: the
// events it holds would be left out.
bool ReadEvents(ViewerSession& session, QTextStream& err) {
    session.OpenEvents();
    const EventSource& events = session.Events();
    for (const QString& e : events.Problems())
        err << Program << ": " << e << Qt::endl;
    if (!events.Problems().isEmpty())
        return false;
    if (events.Skipped() > 0)
        err << Program << ": skipped " << events.Skipped() << " event records (not whole or no event record)"
            << Qt::endl;
    return true;
}

// Writes each file asked for, of all channels; false at the first that
// fails, with the reason.
bool WriteAsked(const ViewerSession& session, const ExportRequest& r, QString* error) {
    const Trend& trend = session.Source().Data();
    const ChannelInfos& channels = session.Source().Channels();
    std::vector<int> all(ChannelCount);
    std::iota(all.begin(), all.end(), 0);
    const auto limits = [&](QIODevice& out) { return WriteLimitsCsv(out, trend, channels, all, r.span); };
    const auto events = [&](QIODevice& out) {
        return WriteEventsCsv(out, session.Events().Events(), channels, r.span);
    };
    return (!r.csv || ExportCsv(*r.csv, trend, channels, all, r.span, error)) &&
           (!r.limitsCsv || WriteExport(*r.limitsCsv, limits, error)) &&
           (!r.eventsCsv || WriteExport(*r.eventsCsv, events, error));
}

} // namespace

int RunHeadlessExport(const QStringList& arguments, const QString& defaultFolder, QTextStream& err) {
    QString usage;
    const std::optional<ExportRequest> request = ParseRequest(arguments, defaultFolder, &usage);
    if (!request) {
        err << Program << ": " << usage << Qt::endl;
        return 2;
    }
    ViewerSession session;
    if (!ReadData(session, *request, err) || (request->eventsCsv && !ReadEvents(session, err)))
        return 1;
    QString error;
    if (!WriteAsked(session, *request, &error)) {
        err << Program << ": " << error << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace tarvek
