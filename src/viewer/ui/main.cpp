// tarvek-view: trends, statistics and export of the logger's data files.
//   tarvek-view [FILE|FOLDER]...
//   tarvek-view [--csv OUT] [--limits-csv OUT] [--from YYYY-MM-DDTHH:MM:SS] [--to YYYY-MM-DDTHH:MM:SS]
//               [FILE|FOLDER]...
// With no file or folder, the datafiles folder beside the program is read.
#include "common/Folders.h"
#include "viewer/HeadlessExport.h"
#include "viewer/ui/ViewerWindow.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

using namespace tarvek;

namespace {

QString DataFolderBeside() {
    return DataFolderPath(QCoreApplication::applicationDirPath());
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::puts(
                "usage: tarvek-view [FILE|FOLDER]...\n"
                "       tarvek-view [--csv OUT] [--limits-csv OUT] [--from YYYY-MM-DDTHH:MM:SS] "
                "[--to YYYY-MM-DDTHH:MM:SS] [FILE|FOLDER]...\n"
                "Shows or exports the logger's data files (--limits-csv: the periods outside the channels' "
                "alarm limits); with none given, the datafiles folder beside the program.\n"
                "OUT - is standard output.");
            return 0;
        }
    }
    // The export runs without a display: no GUI application for it.
    if (IsHeadlessExport(argc, argv)) {
        QCoreApplication app(argc, argv);
        QTextStream err(stderr);
        return RunHeadlessExport(QCoreApplication::arguments(), DataFolderBeside(), err);
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
