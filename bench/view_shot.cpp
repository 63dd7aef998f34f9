// A look at tarvek-view by eye:
//
//   tarvek-view-shot FOLDER PNG [TAB]
//       opens the viewer's window (1400 x 900) on FOLDER's data files and
//       event logs, shows the tables' tab TAB (0 statistics, 1 periods, 2
//       alarms; default 2) and saves the whole window to PNG.
//
// Run under xvfb-run (or offscreen) to see what an operator sees.
#include "viewer/ui/ViewerWindow.h"

#include <QApplication>
#include <QTabWidget>

#include <cstdio>

using namespace tarvek;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarvek-view-shot FOLDER PNG [TAB]\n");
        return 2;
    }
    ViewerWindow window;
    window.resize(1400, 900);
    window.show();
    window.Open({QString::fromLocal8Bit(argv[1])});
    window.findChild<QTabWidget*>()->setCurrentIndex(argc > 3 ? std::atoi(argv[3]) : 2);
    app.processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
