#pragma once

#include <QStringList>
#include <QTextStream>

namespace tarvek {

// The headless export:
//   tarvek-view [--csv OUT] [--limits-csv OUT] [--events-csv OUT] [--from YYYY-MM-DDTHH:MM:SS]
//               [--to ...] FILE|FOLDER...
// The events are those of the logs in the first path's data folder.
// `arguments` as QCoreApplication::arguments(). Messages go to `err`; returns
// the exit code: 0 done, 1 a file could not be read or written, 2 a usage error.
int RunHeadlessExport(const QStringList& arguments, const QString& defaultFolder, QTextStream& err);

// Whether the command line asks for the headless export.
bool IsHeadlessExport(int argc, const char* const* argv);

} // namespace tarvek
