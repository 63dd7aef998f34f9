// tarvek-view: trends, statistics and export of the logger's data files.
//   tarvek-view [FILE|FOLDER]...
//   tarvek-view --csv OUT [--from YYYY-MM-DDTHH:MM:SS] [--to YYYY-MM-DDTHH:MM:SS] [FILE|FOLDER]...
// With no file or folder, the datafiles folder beside the program is read.
#include "viewer/CsvExport.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>

namespace {

QString DataFolderBeside() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/datafiles");
}

} // namespace

int main(int argc, char** argv) {
    // The export runs without a display: no GUI application for it.
    if (IsCsvExport(argc, argv)) {
        QCoreApplication app(argc, argv);
        QTextStream err(stderr);
        return RunCsvExport(QCoreApplication::arguments(), DataFolderBeside(), err);
    }
    QApplication app(argc, argv);
    QStringList paths = QCoreApplication::arguments().mid(1);
    if (paths.isEmpty())
        paths += DataFolderBeside();
    ViewerWindow window;
    window.Open(paths);
    window.show();
    return app.exec();
}
